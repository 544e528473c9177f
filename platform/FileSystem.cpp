#include "platform/FileSystem.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/UniqueFd.h"

namespace {

bool SetReason(std::string* error, const std::string& what, const std::string& path) {
    if (error != nullptr) *error = "cannot " + what + " '" + path + "': " + std::strerror(errno);
    return false;
}

}  // namespace

PathKind GetPathKind(const std::string& path) {
    struct stat info;
    if (path.empty() || ::stat(path.c_str(), &info) != 0) return PathKind::Missing;
    return S_ISDIR(info.st_mode) ? PathKind::Directory : PathKind::File;
}

bool IsAbsent(const std::string& path) {
    struct stat info;
    return path.empty() ||
           (::stat(path.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR));
}

std::string AbsolutePath(const std::string& path) {
    if (path.empty() || path.front() == '/') return path;
    char* cwd = ::getcwd(nullptr, 0);
    if (cwd == nullptr) return path;
    std::string absolute = std::string(cwd) + (cwd[1] == '\0' ? "" : "/") + path;
    ::free(cwd);
    return absolute;
}

std::int64_t GetFileSize(const std::string& path) {
    struct stat info;
    if (path.empty() || ::stat(path.c_str(), &info) != 0) return -1;
    return static_cast<std::int64_t>(info.st_size);
}

bool IsRegularFile(const std::string& path) {
    struct stat info;
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::int64_t RegularFileSize(const std::string& path) {
    struct stat info;
    if (path.empty() || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
    return static_cast<std::int64_t>(info.st_size);
}

bool IsSameEntry(const std::string& path, const std::string& other) {
    struct stat own;
    struct stat target;
    if (path.empty() || other.empty() || ::lstat(path.c_str(), &own) != 0 || S_ISLNK(own.st_mode))
        return false;
    return ::stat(other.c_str(), &target) == 0 && own.st_dev == target.st_dev &&
           own.st_ino == target.st_ino;
}

bool MakeDirectory(const std::string& path) {
    return !path.empty() && ::mkdir(path.c_str(), 0777) == 0;
}

bool MakeDirectories(const std::string& path, std::string* error) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1))
        (void)::mkdir(path.substr(0, slash).c_str(), 0777);  // a failure shows below
    if (!path.empty() && ::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST)
        return SetReason(error, "create", path);
    if (GetPathKind(path) == PathKind::Directory) return true;
    errno = ENOTDIR;
    return SetReason(error, "create", path);
}

namespace {

constexpr mode_t kGroupAndOthers = 077;

// Narrows the open file or directory `fd` to `mode` when it is this user's and lets
// group or others in.
bool NarrowToOwner(int fd, mode_t mode) {
    struct stat info;
    if (::fstat(fd, &info) != 0) return false;
    if ((info.st_mode & kGroupAndOthers) == 0 || info.st_uid != ::geteuid()) return true;
    return ::fchmod(fd, mode) == 0;
}

}  // namespace

bool MakePrivateDirectory(const std::string& path) {
    if (path.empty()) return false;
    if (::mkdir(path.c_str(), 0700) == 0) return true;
    if (errno != EEXIST) return false;
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd && NarrowToOwner(fd.Get(), 0700);
}

int OpenPrivateForAppend(const std::string& path) {
    // Non-blocking, so that a pipe in the file's place cannot hold the caller.
    UniqueFd fd(::open(path.c_str(),
                       O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
    if (!fd) return -1;
    struct stat info;
    if (::fstat(fd.Get(), &info) == 0 && !S_ISREG(info.st_mode))
        errno = EINVAL;
    else if (NarrowToOwner(fd.Get(), 0600))
        return fd.Release();
    const int error = errno;
    fd.Reset();
    errno = error;
    return -1;
}

bool WriteAllToFile(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

RemoveDirResult RemoveDirectory(const std::string& path) {
    if (!path.empty() && ::rmdir(path.c_str()) == 0) return RemoveDirResult::Removed;
    if (errno == ENOTEMPTY || errno == EEXIST) return RemoveDirResult::NotEmpty;
    return RemoveDirResult::Failed;
}

bool RemoveFile(const std::string& path) { return !path.empty() && ::unlink(path.c_str()) == 0; }

bool RemoveFileIfPresent(const std::string& path, std::string* error) {
    if (RemoveFile(path) || errno == ENOENT) return true;
    return SetReason(error, "remove", path);
}

bool LinkFile(const std::string& existing, const std::string& newPath) {
    return !existing.empty() && !newPath.empty() && ::link(existing.c_str(), newPath.c_str()) == 0;
}

bool MovePath(const std::string& from, const std::string& to) {
    if (from.empty() || to.empty()) return false;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the no-replace flag: check, then rename. The window is
    // small and only the same account's sessions could race it.
    struct stat info;
    if (::lstat(to.c_str(), &info) == 0) return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
}

std::int64_t GetModifyTime(const std::string& path) {
    struct stat info;
    if (path.empty() || ::stat(path.c_str(), &info) != 0) return -1;
    return static_cast<std::int64_t>(info.st_mtime);
}

bool SetModifyTime(const std::string& path, std::int64_t seconds) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(seconds);
    times[1].tv_nsec = 0;
    return !path.empty() && ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

bool SetPermissionBits(const std::string& path, std::uint32_t mode) {
    return !path.empty() && ::chmod(path.c_str(), static_cast<mode_t>(mode & 07777)) == 0;
}
