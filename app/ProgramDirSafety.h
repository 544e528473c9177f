// SECURITY: whoever may change the program directory, an account table, the options file,
// an IP list or the log folder decides who logs in and where (an account whose home is
// /etc), or hides what happened. The server does not start on such files.
#pragma once

#include <string>
#include <vector>

// One message per file of `programDir` (ending with "/") that another local user may
// change (platform/PathExposure.h), naming its path and mode; empty when there is none.
std::vector<std::string> ExposedProgramFiles(const std::string& programDir);
