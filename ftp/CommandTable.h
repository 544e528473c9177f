// The command table: one row per keyword the server knows, in a fixed order whose
// positions are the command ids.
#pragma once

#include <string>
#include <string_view>

enum class CommandId {
    Abor = 0, Appe, Bye, Cdup, Cwd, Dele, Help, List, Mkd, Nlst, Noop, Pass, Pasv, PaSw, Port,
    Pwd, Quit, Rest, Retr, Rmd, Rnfr, Rnto, Size, Stor, Syst, Type, User, Xcwd, Xmkd, Xpwd,
    Xrmd, None = 31
};

struct FtpCommandEntry {
    int id;
    std::string_view keyword;
    int needsArgument;
    std::string_view helpText;
};

inline constexpr int kCommandCount = 31;

// The 31 rows followed by the terminator row (id 31, empty keyword).
extern const FtpCommandEntry kFtpCommands[kCommandCount + 1];

// The row whose keyword equals `keyword` exactly, or the terminator row.
const FtpCommandEntry& FindCommand(std::string_view keyword);

// The keyword of a received line: its text before the first blank, upper-cased. A
// keyword ending in "ABOR" is ABOR, whatever stands before it (clients put Telnet
// interrupt bytes in front).
std::string KeywordOf(std::string_view line);
// True for the lines that act while a transfer command waits for its data connection
// (ABOR, QUIT, BYE); every other line waits its turn.
bool ActsDuringDataWait(std::string_view line);
