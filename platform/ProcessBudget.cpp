#include "platform/ProcessBudget.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <limits>
#include <string>
#include <string_view>

namespace {

constexpr std::size_t kUnbounded = std::numeric_limits<std::size_t>::max();
// A control group path deeper than this is not walked further up.
constexpr int kMaxCgroupDepth = 64;

// The first number of the file (or kUnbounded: missing, "max", not a number).
std::size_t ReadCount(const std::string& path) {
    std::ifstream in(path);
    std::string word;
    if (!(in >> word)) return kUnbounded;
    std::size_t value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size()) return kUnbounded;
    return value;
}

std::size_t Room(std::size_t limit, std::size_t used) {
    if (limit == kUnbounded) return kUnbounded;
    return limit > used ? limit - used : 0;
}

// The control group of the pids controller, from /proc/self/cgroup: the v1 line naming
// "pids" or the v2 line "0::". Its files then live under `mount`.
bool PidsGroup(std::string& group, std::string& mount) {
    std::ifstream in("/proc/self/cgroup");
    std::string line;
    while (std::getline(in, line)) {
        const auto first = line.find(':');
        const auto second = first == std::string::npos ? first : line.find(':', first + 1);
        if (second == std::string::npos) continue;
        const std::string_view controllers =
            std::string_view(line).substr(first + 1, second - first - 1);
        if (controllers == "pids") {
            group = line.substr(second + 1);
            mount = "/sys/fs/cgroup/pids";
            return true;
        }
        if (line.compare(0, 3, "0::") == 0) {
            group = line.substr(second + 1);
            mount = "/sys/fs/cgroup";
        }
    }
    return !group.empty();
}

// The least room under pids.max from the process's group up to the root: a parent's
// limit counts its children's tasks too.
std::size_t CgroupThreadsLeft() {
    std::string group, mount;
    if (!PidsGroup(group, mount) || group.empty() || group.front() != '/') return kUnbounded;
    std::size_t least = kUnbounded;
    for (int depth = 0; depth < kMaxCgroupDepth; ++depth) {
        const std::string dir = mount + (group == "/" ? "" : group);
        least =
            std::min(least, Room(ReadCount(dir + "/pids.max"), ReadCount(dir + "/pids.current")));
        if (group == "/") break;
        const auto slash = group.rfind('/');
        group = slash == 0 ? "/" : group.substr(0, slash);
    }
    return least;
}

// Threads the whole system runs: the fourth field of /proc/loadavg ("running/total").
std::size_t SystemThreads() {
    std::ifstream in("/proc/loadavg");
    std::string a, b, c, runnable;
    if (!(in >> a >> b >> c >> runnable)) return 0;
    const auto slash = runnable.find('/');
    if (slash == std::string::npos) return 0;
    std::size_t total = 0;
    (void)std::from_chars(runnable.data() + slash + 1, runnable.data() + runnable.size(), total);
    return total;
}

std::size_t OwnThreads() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 8, "Threads:") != 0) continue;
        std::size_t count = 0;
        const auto start = line.find_first_not_of(" \t", 8);
        if (start != std::string::npos)
            (void)std::from_chars(line.data() + start, line.data() + line.size(), count);
        return count;
    }
    return 1;
}

std::size_t UserThreadsLeft() {
    // NOTE: the kernel does not apply RLIMIT_NPROC to root.
    rlimit limit{};
    if (::geteuid() == 0 || ::getrlimit(RLIMIT_NPROC, &limit) != 0 ||
        limit.rlim_cur == RLIM_INFINITY)
        return kUnbounded;
    return Room(static_cast<std::size_t>(limit.rlim_cur), OwnThreads());
}

}  // namespace

std::size_t ThreadsLeft() {
    const std::size_t kernelLimit =
        std::min(ReadCount("/proc/sys/kernel/threads-max"), ReadCount("/proc/sys/kernel/pid_max"));
    return std::min({CgroupThreadsLeft(), Room(kernelLimit, SystemThreads()), UserThreadsLeft()});
}

std::size_t MemoryMapsLeft() {
    std::ifstream maps("/proc/self/maps");
    std::size_t used = 0;
    std::string line;
    while (std::getline(maps, line)) ++used;
    return Room(ReadCount("/proc/sys/vm/max_map_count"), used);
}
