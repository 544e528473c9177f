// What tells whether a file changed since it was last read, without reading it: which
// file a name leads to, its size and its modification and change times.
#pragma once

#include <cstdint>
#include <string>

struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;  // st_mtim
    std::int64_t changedNs = 0;   // st_ctim
    bool operator==(const FileIdentity&) const = default;
};

enum class IdentityResult { Found, Missing, Failed };

// The identity of the file `path` leads to (links followed). Missing only when nothing
// is there; a name that cannot be examined is Failed.
IdentityResult StatIdentity(const std::string& path, FileIdentity& out);
// The identity of the open file `fd`. False when fstat fails.
bool DescriptorIdentity(int fd, FileIdentity& out);

// True when the identity cannot yet vouch for the contents read at `readAtNs` (the
// real-time clock, taken before reading): file times advance in clock ticks, so a second
// change within the tick of the last one, with the same size, leaves the identity as it
// was. Contents read well after the last change are safe to keep; others are read again.
bool IsTooRecentToTrust(const FileIdentity& identity, std::int64_t readAtNs);

// The real-time clock in nanoseconds since the epoch, comparable with file times.
std::int64_t RealTimeNs();
