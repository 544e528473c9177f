// The start-up expiry check: accounts whose automatic disable date has come are
// disabled. Run once when the server (or the window) starts, and by `tarvona-admin
// expire`.
#pragma once

#include <string>

#include "accounts/LookupStatus.h"

// Disables (stores 0 into "status" of) every account whose "reserved" text begins with
// "1" and whose date, the text after the first two characters, is not later than
// `today` ("%Y-%m-%d"), compared as text. `disabled` counts the accounts changed.
// Busy (user.sdb stayed locked by another holder past the bounded wait) or Failed, with
// the reason as its message, when user.sdb cannot be opened or a record cannot be
// updated; accounts handled before that stay handled.
LookupStatus DisableExpiredAccounts(const std::string& programDir, const std::string& today,
                                    int& disabled);
// Today's local date as the check compares it.
std::string TodayText();
