#include "ftp/NameText.h"

namespace {

bool IsLineBreakOrNul(char c) { return c == '\r' || c == '\n' || c == '\0'; }

}  // namespace

std::string ControlSafe(std::string text) {
    for (char& c : text)
        if (IsLineBreakOrNul(c)) c = '?';
    return text;
}

bool HasLineBreakOrNul(std::string_view name) {
    for (char c : name)
        if (IsLineBreakOrNul(c)) return true;
    return false;
}
