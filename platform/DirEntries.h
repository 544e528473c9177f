// What directory listings need to know about files: attributes, size, last write.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DirEntry {
    std::string name;
    bool isDirectory = false;
    std::int64_t size = 0;           // bytes; as the file system reports it
    std::int64_t lastWriteTime = 0;  // calendar seconds
    std::uint32_t mode = 0;          // permission bits (at most 07777)
};

// The entry for `path` itself (name: its last component). A symbolic link describes
// its target, or the link itself when the target is gone. False when it does not exist.
[[nodiscard]] bool StatEntry(const std::string& path, DirEntry& out);

// Every entry of directory `dir` except "." and "..", in the order the file system
// returns them. False when the directory cannot be read; `out` then holds nothing.
[[nodiscard]] bool ListDirectory(const std::string& dir, std::vector<DirEntry>& out);
