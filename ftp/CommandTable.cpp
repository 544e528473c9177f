#include "ftp/CommandTable.h"

#include <algorithm>
#include <cctype>

const FtpCommandEntry kFtpCommands[kCommandCount + 1] = {
    {0, "ABOR", 0, "Abort transfer: ABOR"},
    {1, "APPE", 1, "Append file to existing file: APPE file-name"},
    {2, "BYE", 0, "Logout or break the connection: BYE"},
    {3, "CDUP", 0, "Change to parent directory: CDUP"},
    {4, "CWD", 1, "Change working directory: CWD [directory-name]"},
    {5, "DELE", 1, "Delete file: DELE file-name"},
    {6, "HELP", 0, "Show help: HELP [command]"},
    {7, "LIST", 0, "Get directory listing: LIST [path-name]"},
    {8, "MKD", 1, "Make directory: MKD path-name"},
    {9, "NLST", 0, "List filenames only: NLST [path-name]"},
    {10, "NOOP", 0, "Do nothing: NOOP"},
    {11, "PASS", 1, "Supply a user password: PASS password"},
    {12, "PASV", 0, "Set server in passive mode: PASV"},
    {13, "P@SW", 0, "Set server in passive mode: P@SW"},
    {14, "PORT", 1, "Specify the client port number: PORT a0,a1,a2,a3,a4,a5"},
    {15, "PWD", 0, "Get current directory: PWD"},
    {16, "QUIT", 0, "Logout or break the connection: QUIT"},
    {17, "REST", 1, "Set restart transfer marker: REST marker"},
    {18, "RETR", 1, "Get file: RETR file-name"},
    {19, "RMD", 1, "Remove directory: RMD path-name"},
    {20, "RNFR", 1, "Specify old path name of file to be renamed: RNFR file-name"},
    {21, "RNTO", 1, "Specify new path name of file to be renamed: RNTO file-name"},
    {22, "SIZE", 1, "Get filesize: SIZE file-name"},
    {23, "STOR", 1, "Store file: STOR file-name"},
    {24, "SYST", 0, "Get operating system type: SYST"},
    {25, "TYPE", 1, "Set filetype: TYPE [A | I]"},
    {26, "USER", 1, "Supply a username: USER username"},
    {27, "XCWD", 1, "Change working directory: XCWD [directory-name]"},
    {28, "XMKD", 1, "Make directory: XMKD path-name"},
    {29, "XPWD", 0, "Get current directory: XPWD"},
    {30, "XRMD", 1, "Remove directory: XRMD path-name"},
    {31, "", 0, ""},
};

const FtpCommandEntry& FindCommand(std::string_view keyword) {
    for (int i = 0; i < kCommandCount; ++i)
        if (kFtpCommands[i].keyword == keyword) return kFtpCommands[i];
    return kFtpCommands[kCommandCount];
}

std::string KeywordOf(std::string_view line) {
    std::string keyword(line.substr(0, line.find(' ')));
    std::transform(keyword.begin(), keyword.end(), keyword.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (keyword.ends_with("ABOR")) keyword = "ABOR";
    return keyword;
}

bool ActsDuringDataWait(std::string_view line) {
    const std::string keyword = KeywordOf(line);
    return keyword == "ABOR" || keyword == "QUIT" || keyword == "BYE";
}
