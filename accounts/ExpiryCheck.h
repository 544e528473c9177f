// The start-up expiry check: accounts whose automatic disable date has come are
// disabled. Run once when the server (or the window) starts, and by `tarvona-admin
// expire`.
#pragma once

#include <string>

// Disables (stores 0 into "status" of) every account whose "reserved" text begins with
// "1" and whose date, the text after the first two characters, is not later than
// `today` ("%Y-%m-%d"), compared as text. `disabled` counts the accounts changed.
// False, with the reason in `error`, when user.sdb cannot be opened or a record cannot
// be updated; accounts handled before that stay handled. `busy`, when given, says
// whether user.sdb only stayed locked by another holder past the bounded wait.
[[nodiscard]] bool DisableExpiredAccounts(const std::string& programDir, const std::string& today,
                                          int& disabled, std::string& error, bool* busy = nullptr);
// Today's local date as the check compares it.
std::string TodayText();
