#include "platform/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <string_view>
#include <thread>

#include "platform/UniqueFd.h"

extern char** environ;

namespace {

constexpr std::size_t kMaxOutput = 1 << 20;  // a chatty program cannot fill memory

std::string_view NameOf(std::string_view entry) { return entry.substr(0, entry.find('=')); }

// This process's environment without the names `added` sets, then `added`.
std::vector<std::string> MergedEnvironment(const std::vector<std::string>& added) {
    std::vector<std::string> merged;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view name = NameOf(*entry);
        const bool replaced = std::any_of(
            added.begin(), added.end(), [name](const std::string& a) { return NameOf(a) == name; });
        if (!replaced) merged.emplace_back(*entry);
    }
    merged.insert(merged.end(), added.begin(), added.end());
    return merged;
}

std::vector<char*> PointersTo(const std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (const std::string& text : texts) pointers.push_back(const_cast<char*>(text.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

bool Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
           int outputFd, pid_t& pid) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outputFd, STDERR_FILENO);
    // SECURITY: descriptors are O_CLOEXEC already; this also covers one a library opened
    // without it (a client's socket must never reach a program).
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    // A group of its own, so a time-out kills what the program started as well.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
    std::vector<char*> args = PointersTo(argv);
    const std::vector<std::string> merged =
        environment.empty() ? std::vector<std::string>{} : MergedEnvironment(environment);
    std::vector<char*> mergedPointers = PointersTo(merged);
    char** env = environment.empty() ? environ : mergedPointers.data();
    const int rc = ::posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), env);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return rc == 0;
}

// Reads until the end of output or the deadline; false on the deadline.
bool ReadAll(int fd, std::chrono::steady_clock::time_point deadline, std::string& output) {
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return ready == 0 ? false : true;
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return true;
        if (output.size() < kMaxOutput) output.append(buffer, static_cast<std::size_t>(got));
    }
}

// Waits for `pid` to end until `deadline`, then kills it: a program may close its output
// and go on running. False when it had to be killed. `exitStatus` is its exit status, -1
// when a signal ended it.
bool WaitForEnd(pid_t pid, std::chrono::steady_clock::time_point deadline, int& exitStatus) {
    int status = 0;
    pid_t done = 0;
    while ((done = ::waitpid(pid, &status, WNOHANG)) != pid) {
        if (done < 0 && errno != EINTR) break;
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const bool ended = done == pid;
    if (!ended) {
        ::kill(-pid, SIGKILL);
        while ((done = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
        }
    }
    exitStatus = done == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return ended;
}

}  // namespace

ProgramResult RunProgram(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                         const std::vector<std::string>& environment) {
    ProgramResult result;
    int pipeFds[2];
    if (argv.empty() || ::pipe2(pipeFds, O_CLOEXEC) != 0) return result;
    UniqueFd readEnd(pipeFds[0]);
    UniqueFd writeEnd(pipeFds[1]);
    pid_t pid = -1;
    result.started = Spawn(argv, environment, writeEnd.Get(), pid);
    // Only the child may hold the write end, or the read below never sees the output end.
    writeEnd.Reset();
    if (!result.started) return result;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const bool outputEnded = ReadAll(readEnd.Get(), deadline, result.output);
    readEnd.Reset();
    // Output still open at the deadline: whoever holds it (the program, or a child of it
    // after the program ended) is in the group, which the unreaped program keeps alive.
    if (!outputEnded) ::kill(-pid, SIGKILL);
    const bool ended = WaitForEnd(pid, deadline, result.exitStatus);
    result.timedOut = !outputEnded || !ended;
    return result;
}
