// Names and client text as they may appear on a control or data connection.
#pragma once

#include <string>
#include <string_view>

// SECURITY: a name is shown inside reply and listing lines; a CR, LF or NUL in it must
// not end the line early and let a file name forge replies or listing entries. Returns
// `text` with each of those bytes replaced by "?".
std::string ControlSafe(std::string text);
// True when `name` holds a CR, LF or NUL: such a name is never created.
bool HasLineBreakOrNul(std::string_view name);
