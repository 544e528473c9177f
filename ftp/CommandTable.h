// The command tables: one row per keyword the server knows, with everything the
// dispatcher needs to know about it. Adding a command is its body and one row.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ftp/Commands.h"

// How FEAT lists a row's feature.
struct FeatLine {
    std::string_view text;       // empty: FEAT does not list the row
    bool withMlstFacts = false;  // the session's MLST fact selection follows the text
    bool isHashList = false;     // the text is the session's HASH line (HashFeatureText)
};

struct FtpCommandEntry {
    std::string_view keyword;  // upper case, as KeywordOf makes it
    bool needsArgument;        // an empty argument is answered 501 (before the login rule)
    bool allowedBeforeLogin;   // otherwise answered 530 while the session is not logged in
    // A reference, so a row without a body does not compile.
    CommandBody& handler;
    // ABOR, QUIT and BYE act while a transfer command waits for its data connection
    // (they end the wait); every other line waits its turn.
    bool actsDuringDataWait = false;
    std::string_view helpText = {};  // kept for reference; no reply sends it
    FeatLine feat = {};
};

// The classic rows. NOTE: a row's position is its command id, and a keyword found in
// no classic row has id kCommandCount (31); keep the order when adding rows (new
// commands go to the extension rows).
inline constexpr int kCommandCount = 31;

// The row whose keyword equals `keyword` exactly: the classic rows in order, then the
// extension rows (RFC 2389, 2428, 3659, 4217 and STAT). nullptr when none does.
const FtpCommandEntry* FindCommand(std::string_view keyword);

// The FEAT lines of every row that has one, in byte order of their text.
const std::vector<FeatLine>& FeatLines();

// The keyword of a received line: its text before the first blank, upper-cased. A
// keyword ending in "ABOR" is ABOR, whatever stands before it (clients put Telnet
// interrupt bytes in front).
std::string KeywordOf(std::string_view line);
// True for the lines whose command acts while a transfer command waits for its data
// connection (the rows marked so).
bool ActsDuringDataWait(std::string_view line);

// Every row, classic then extension, numbered from 0: a small dense index for counters
// kept per command. An index of CommandRowCount() stands for every unknown keyword.
int CommandRowCount();
int CommandRowIndex(const FtpCommandEntry& entry);
// The keyword of row `index`; empty for an index outside the rows.
std::string_view CommandRowKeyword(int index);
