// Whole-file replacement that readers and crashes never see half done.
#pragma once
#include <string>
#include <string_view>

namespace platform {

// Replaces the file at `path` with `bytes`: writes a new temporary file in the same
// directory, flushes it to disk, renames it over `path` and flushes the directory.
// A reader that opens `path` at any moment sees either the old or the new content whole.
// The new file keeps the permission bits of the file it replaces; a file that did not
// exist gets `newFileMode` (less the umask). Safe to call from any thread; two writers of
// the same path each leave a whole file (the later rename wins).
// On failure returns false, sets `*error` (which file and why) and leaves `path` untouched.
[[nodiscard]] bool ReplaceFileAtomically(const std::string& path, std::string_view bytes,
                                         unsigned newFileMode, std::string* error);

// Puts the finished file `temp` in the place of `path`: flushes `temp` to disk, renames
// it over `path` and flushes the directory, so a crash leaves the old file or the new
// one whole. Both must be in the same directory. On failure returns false, sets `*error`
// and leaves `path` untouched (`temp` stays for the caller to remove).
[[nodiscard]] bool MoveFileIntoPlace(const std::string& temp, const std::string& path,
                                     std::string* error);

}  // namespace platform
