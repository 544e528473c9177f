// Commands beyond the classic table (RFC 2389, 2428, 3659 and STAT). Consulted after
// the classic table, under the same rules.
#pragma once

#include <string_view>

#include "ftp/Commands.h"

struct ExtensionEntry {
    std::string_view keyword;
    bool needsArgument;
    bool allowedBeforeLogin;  // FEAT and OPTS, as RFC 2389 intends
    CommandHandler handler;
};

// The row for `keyword`, or nullptr.
const ExtensionEntry* FindExtension(std::string_view keyword);
