// Directory enumeration for listings.
#include "platform/DirEntries.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>

namespace {

void FillFromStat(const struct stat& info, DirEntry& out) {
    out.isDirectory = S_ISDIR(info.st_mode);
    out.size = static_cast<std::int64_t>(info.st_size);
    out.lastWriteTime = static_cast<std::int64_t>(info.st_mtime);
    out.mode = static_cast<std::uint32_t>(info.st_mode & 07777);
}

bool StatFollowing(int dirFd, const char* name, DirEntry& out) {
    struct stat info;
    if (::fstatat(dirFd, name, &info, 0) != 0 &&
        ::fstatat(dirFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    FillFromStat(info, out);
    return true;
}

}  // namespace

bool StatEntry(const std::string& path, DirEntry& out) {
    if (!StatFollowing(AT_FDCWD, path.c_str(), out)) return false;
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    const auto slash = trimmed.rfind('/');
    out.name = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
    return true;
}

bool ListDirectory(const std::string& dir, std::vector<DirEntry>& out) {
    out.clear();
    DIR* stream = ::opendir(dir.c_str());
    if (stream == nullptr) return false;
    const int dirFd = ::dirfd(stream);
    while (dirent* item = ::readdir(stream)) {
        if (std::strcmp(item->d_name, ".") == 0 || std::strcmp(item->d_name, "..") == 0) continue;
        DirEntry entry;
        entry.name = item->d_name;
        // An entry removed between readdir and stat is left out, as if read a moment later.
        if (!StatFollowing(dirFd, item->d_name, entry)) continue;
        out.push_back(std::move(entry));
    }
    ::closedir(stream);
    return true;
}
