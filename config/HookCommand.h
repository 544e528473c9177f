// The program line of an [Hooks] On<Event> key, split into the program and its arguments
// without a shell: white space separates arguments; double quotes keep white space in
// one; a backslash takes the next character as it is (\" \\ \ ), inside quotes or not.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Splits `line` into `argv`. An empty or all-blank line gives no arguments (no action).
// False, with `error` for the administrator, on an unterminated quote, a backslash at
// the end, or a first argument that is not an absolute path: the program a hook runs
// never depends on the server's working directory or PATH.
[[nodiscard]] bool SplitHookCommand(std::string_view line, std::vector<std::string>& argv,
                                    std::string& error);

// True for a URL a URL action may POST to: "https://" (any letter case) and a host.
bool IsHookUrl(std::string_view url);
