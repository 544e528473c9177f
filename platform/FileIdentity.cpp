#include "platform/FileIdentity.h"

#include <sys/stat.h>
#include <time.h>

#include <cerrno>

namespace {

// Far above the coarsest kernel tick (10 ms at 100 Hz), so a clock step of a few
// milliseconds between the file system's time and ours cannot hide a change either.
constexpr std::int64_t kTimestampSlackNs = 100'000'000;

std::int64_t ToNs(const timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

FileIdentity FromStat(const struct stat& st) {
    FileIdentity id;
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    id.size = static_cast<std::int64_t>(st.st_size);
    id.modifiedNs = ToNs(st.st_mtim);
    id.changedNs = ToNs(st.st_ctim);
    return id;
}

}  // namespace

IdentityResult StatIdentity(const std::string& path, FileIdentity& out) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? IdentityResult::Missing
                                                   : IdentityResult::Failed;
    out = FromStat(st);
    return IdentityResult::Found;
}

bool DescriptorIdentity(int fd, FileIdentity& out) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    out = FromStat(st);
    return true;
}

bool IsTooRecentToTrust(const FileIdentity& identity, std::int64_t readAtNs) {
    const std::int64_t lastChange =
        identity.modifiedNs > identity.changedNs ? identity.modifiedNs : identity.changedNs;
    return readAtNs - lastChange < kTimestampSlackNs;
}

std::int64_t RealTimeNs() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return ToNs(now);
}
