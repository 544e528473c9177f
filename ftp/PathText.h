// Pure text operations on virtual (client) and local paths. Local paths are absolute
// POSIX paths; comparisons are exact and at whole components.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The client's argument with "\" turned into "/", runs of "/" collapsed and trailing
// "/" removed ("/" alone becomes empty).
std::string NormalizeArgument(std::string_view argument);
// The components of a virtual path: empty ones dropped, leading and trailing dots
// removed from every component but "..", components made only of dots dropped.
std::vector<std::string> SplitVirtualPath(std::string_view path);
// `relative` below the virtual directory `current`.
std::string JoinToCurrent(const std::string& current, std::string_view relative);
// `path` without trailing "/" (may become empty).
std::string StripTrailingSlashes(std::string_view path);
// A stored home or folder directory as the path code uses it: without trailing "/",
// or empty when it is empty or not absolute (such a directory maps nothing). "/" stays.
std::string UsableLocalDir(std::string_view dir);
// True when `path` is `dir` or lies below it, comparing whole components.
bool IsSameOrBelow(const std::string& dir, std::string_view path);
// The part of `path` below `dir` without a leading "/" (empty for `dir` itself).
// Requires IsSameOrBelow(dir, path).
std::string RemainderBelow(const std::string& dir, std::string_view path);
// "/" + `first` + "/" + `rest`, leaving out empty parts; "/" when both are empty.
std::string JoinVirtual(std::string_view first, std::string_view rest);
// The directory that holds the local path `local`: "/" for a path directly below the root
// or without any "/".
std::string ParentOf(const std::string& local);
// `name` below the local directory `dir`, with exactly one "/" between them when `dir`
// does not end in one.
std::string JoinLocal(const std::string& dir, const std::string& name);
