#include "platform/PathExposure.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kNameBuffer = 16 * 1024;

std::string UserName(uid_t uid) {
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(kNameBuffer);
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
        return {};
    return entry.pw_name;
}

// True when group `gid` is this user's private group: the user's own primary group,
// named as the user, with no other member listed.
bool IsOwnPrivateGroup(gid_t gid) {
    const std::string user = UserName(::geteuid());
    if (user.empty() || gid != ::getegid()) return false;
    group entry{};
    group* found = nullptr;
    std::vector<char> buffer(kNameBuffer);
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
        user != entry.gr_name)
        return false;
    for (char** member = entry.gr_mem; *member != nullptr; ++member)
        if (user != *member) return false;
    return true;
}

}  // namespace

PathExposure ExposureOf(const std::string& path) {
    PathExposure result;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return result;
    result.mode = static_cast<std::uint32_t>(info.st_mode & 07777);
    if (info.st_uid != ::geteuid()) {
        result.why = "owned by user " + std::to_string(info.st_uid) +
                     ", not by this server's user " + std::to_string(::geteuid());
    } else if ((info.st_mode & S_IWOTH) != 0) {
        result.why = "writable by others";
    } else if ((info.st_mode & S_IWGRP) != 0 && !IsOwnPrivateGroup(info.st_gid)) {
        result.why = "writable by group " + std::to_string(info.st_gid);
    }
    result.exposed = !result.why.empty();
    return result;
}
