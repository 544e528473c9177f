#include "platform/FileUtil.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "platform/UniqueFd.h"

namespace platform {
namespace {

bool Fail(std::string* error, const std::string& what, const std::string& path, int err) {
    if (error != nullptr) *error = what + " '" + path + "': " + std::strerror(err);
    return false;
}

// A name no other writer (thread or process) picks: random per process, counted per call.
std::string TemporaryNameFor(const std::string& path) {
    static const unsigned long long processTag = std::random_device{}() * 0x9E3779B97F4A7C15ULL;
    static std::atomic<unsigned> counter{0};
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".tmp-%016llx-%u", processTag,
                  counter.fetch_add(1, std::memory_order_relaxed));
    return path + suffix;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The rename is only durable once the directory entry is on disk too.
void SyncDirectory(const std::string& dir) {
    const UniqueFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd) ::fsync(fd.Get());
}

}  // namespace

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, unsigned newFileMode,
                           std::string* error) {
    const std::string temp = TemporaryNameFor(path);
    struct stat old {};
    const bool replacing = ::stat(path.c_str(), &old) == 0;
    const mode_t mode = replacing ? (old.st_mode & 07777) : static_cast<mode_t>(newFileMode);
    UniqueFd fd;
    do {
        fd.Reset(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    } while (!fd && errno == EINTR);
    if (!fd) return Fail(error, "cannot create", temp, errno);
    // The umask applies to open(); an existing file's bits are restored exactly.
    if (replacing) ::fchmod(fd.Get(), mode);
    if (!WriteAll(fd.Get(), bytes) || ::fsync(fd.Get()) != 0) {
        const int err = errno;
        fd.Reset();
        ::unlink(temp.c_str());
        return Fail(error, "cannot write", temp, err);
    }
    // Closed by hand: a failing close is a failed write here.
    if (::close(fd.Release()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        return Fail(error, "cannot write", temp, err);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        return Fail(error, "cannot replace", path, err);
    }
    SyncDirectory(DirectoryOf(path));
    return true;
}

bool MoveFileIntoPlace(const std::string& temp, const std::string& path, std::string* error) {
    int fd;
    do {
        fd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return Fail(error, "cannot open", temp, errno);
    const bool synced = ::fsync(fd) == 0;
    const int syncError = errno;
    ::close(fd);
    if (!synced) return Fail(error, "cannot write", temp, syncError);
    if (::rename(temp.c_str(), path.c_str()) != 0)
        return Fail(error, "cannot replace", path, errno);
    SyncDirectory(DirectoryOf(path));
    return true;
}

}  // namespace platform
