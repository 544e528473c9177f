// Names in the local file system: what a path is, and creating, removing and moving
// entries. Symbolic links are followed, as a client would expect of a folder link
// the administrator placed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

enum class PathKind { Missing, File, Directory };

PathKind GetPathKind(const std::string& path);
// True only when nothing is at `path` (or a link there leads nowhere); a path that cannot
// be examined (no search permission on a directory above it) is not absent.
bool IsAbsent(const std::string& path);
// `path` made absolute against the working directory, without resolving "." or "..".
std::string AbsolutePath(const std::string& path);
// Size in bytes of the file at `path`, or -1 when it cannot be read.
std::int64_t GetFileSize(const std::string& path);
// True when `path` is a regular file (links followed): not a directory, pipe, socket
// or device.
bool IsRegularFile(const std::string& path);
// The size of the regular file at `path` (symbolic links followed); -1 when it is
// missing or anything else. One look where IsRegularFile and GetFileSize take two.
std::int64_t RegularFileSize(const std::string& path);
// True when `path` is itself (not through a final symbolic link) the same directory
// entry as `other` (links followed). A link that points at `other` is a different
// entry: renaming or removing it leaves `other` where it is.
bool IsSameEntry(const std::string& path, const std::string& other);
// Creates one directory. False when it exists already or cannot be made.
[[nodiscard]] bool MakeDirectory(const std::string& path);
// Creates `path` and every missing directory above it. True when `path` is a directory
// afterwards; else false, with the reason in `error` when given.
[[nodiscard]] bool MakeDirectories(const std::string& path, std::string* error = nullptr);

// Creates the directory `path` (its parent must exist) for its owner alone (0700), or
// narrows an existing one of this user's that lets group or others in to 0700. True when
// `path` is a directory afterwards.
[[nodiscard]] bool MakePrivateDirectory(const std::string& path);
// Opens the file `path` for appending: created 0600 when missing, an existing one of this
// user's narrowed to 0600, never through a final symbolic link, and only a regular file.
// The descriptor (the caller closes it), or -1 with errno set.
int OpenPrivateForAppend(const std::string& path);
// Writes all of `data` to the descriptor `fd`. False on any failure.
[[nodiscard]] bool WriteAllToFile(int fd, std::string_view data);

enum class RemoveDirResult { Removed, NotEmpty, Failed };
// Removes an empty directory; never anything inside it.
RemoveDirResult RemoveDirectory(const std::string& path);
[[nodiscard]] bool RemoveFile(const std::string& path);
// Removes the file at `path` if there is one. True when nothing is there afterwards; else
// false, with the reason in `error` when given.
[[nodiscard]] bool RemoveFileIfPresent(const std::string& path, std::string* error = nullptr);
// A second name `newPath` for the file `existing`. Fails when `newPath` exists.
[[nodiscard]] bool LinkFile(const std::string& existing, const std::string& newPath);
// Renames `from` to `to`. Fails when `to` exists: an existing entry is never replaced.
[[nodiscard]] bool MovePath(const std::string& from, const std::string& to);

// Modification time of `path` in whole seconds since the epoch, or -1.
std::int64_t GetModifyTime(const std::string& path);
// Sets the modification time of `path` (the access time stays). False on failure.
[[nodiscard]] bool SetModifyTime(const std::string& path, std::int64_t seconds);
// Sets the permission bits of `path` (chmod). False on failure.
[[nodiscard]] bool SetPermissionBits(const std::string& path, std::uint32_t mode);
