#include "ftp/CommandTable.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <span>

namespace {

constexpr bool kArgument = true;  // needsArgument
constexpr bool kNoArgument = false;
constexpr bool kBeforeLogin = true;  // allowedBeforeLogin
constexpr bool kAfterLogin = false;
constexpr bool kEndsDataWait = true;  // actsDuringDataWait
constexpr bool kWaits = false;
constexpr std::string_view kNoHelp = {};

// Same-behaviour pairs share one body: BYE and QUIT, CWD and XCWD, MKD and XMKD, PWD and
// XPWD, RMD and XRMD, PASV and P@SW.
constexpr FtpCommandEntry kClassicCommands[] = {
    {"ABOR", kNoArgument, kAfterLogin, CmdAbor, kEndsDataWait, "Abort transfer: ABOR"},
    {"APPE", kArgument, kAfterLogin, CmdAppe, kWaits,
     "Append file to existing file: APPE file-name"},
    {"BYE", kNoArgument, kBeforeLogin, CmdQuit, kEndsDataWait,
     "Logout or break the connection: BYE"},
    {"CDUP", kNoArgument, kAfterLogin, CmdCdup, kWaits, "Change to parent directory: CDUP"},
    // TVFS has no command of its own: it names the path syntax CWD and the others take.
    {"CWD",
     kArgument,
     kAfterLogin,
     CmdCwd,
     kWaits,
     "Change working directory: CWD [directory-name]",
     {"TVFS"}},
    {"DELE", kArgument, kAfterLogin, CmdDele, kWaits, "Delete file: DELE file-name"},
    {"HELP", kNoArgument, kAfterLogin, CmdHelp, kWaits, "Show help: HELP [command]"},
    {"LIST", kNoArgument, kAfterLogin, CmdList, kWaits, "Get directory listing: LIST [path-name]"},
    {"MKD", kArgument, kAfterLogin, CmdMkd, kWaits, "Make directory: MKD path-name"},
    {"NLST", kNoArgument, kAfterLogin, CmdNlst, kWaits, "List filenames only: NLST [path-name]"},
    {"NOOP", kNoArgument, kAfterLogin, CmdNoop, kWaits, "Do nothing: NOOP"},
    {"PASS", kArgument, kBeforeLogin, CmdPass, kWaits, "Supply a user password: PASS password"},
    {"PASV", kNoArgument, kAfterLogin, CmdPasv, kWaits, "Set server in passive mode: PASV"},
    {"P@SW", kNoArgument, kAfterLogin, CmdPasv, kWaits, "Set server in passive mode: P@SW"},
    {"PORT", kArgument, kAfterLogin, CmdPort, kWaits,
     "Specify the client port number: PORT a0,a1,a2,a3,a4,a5"},
    {"PWD", kNoArgument, kAfterLogin, CmdPwd, kWaits, "Get current directory: PWD"},
    {"QUIT", kNoArgument, kBeforeLogin, CmdQuit, kEndsDataWait,
     "Logout or break the connection: QUIT"},
    {"REST",
     kArgument,
     kAfterLogin,
     CmdRest,
     kWaits,
     "Set restart transfer marker: REST marker",
     {"REST STREAM"}},
    {"RETR", kArgument, kAfterLogin, CmdRetr, kWaits, "Get file: RETR file-name"},
    {"RMD", kArgument, kAfterLogin, CmdRmd, kWaits, "Remove directory: RMD path-name"},
    {"RNFR", kArgument, kAfterLogin, CmdRnfr, kWaits,
     "Specify old path name of file to be renamed: RNFR file-name"},
    {"RNTO", kArgument, kAfterLogin, CmdRnto, kWaits,
     "Specify new path name of file to be renamed: RNTO file-name"},
    {"SIZE", kArgument, kAfterLogin, CmdSize, kWaits, "Get filesize: SIZE file-name", {"SIZE"}},
    {"STOR", kArgument, kAfterLogin, CmdStor, kWaits, "Store file: STOR file-name"},
    {"SYST", kNoArgument, kAfterLogin, CmdSyst, kWaits, "Get operating system type: SYST"},
    {"TYPE", kArgument, kAfterLogin, CmdType, kWaits, "Set filetype: TYPE [A | I]"},
    {"USER", kArgument, kBeforeLogin, CmdUser, kWaits, "Supply a username: USER username"},
    {"XCWD", kArgument, kAfterLogin, CmdCwd, kWaits,
     "Change working directory: XCWD [directory-name]"},
    {"XMKD", kArgument, kAfterLogin, CmdMkd, kWaits, "Make directory: XMKD path-name"},
    {"XPWD", kNoArgument, kAfterLogin, CmdPwd, kWaits, "Get current directory: XPWD"},
    {"XRMD", kArgument, kAfterLogin, CmdRmd, kWaits, "Remove directory: XRMD path-name"},
};

// Consulted after the classic rows, under the same rules. FEAT and OPTS are allowed
// before login, as RFC 2389 intends; AUTH, PBSZ and PROT too, as RFC 4217 does.
constexpr FtpCommandEntry kExtensionCommands[] = {
    {"FEAT", kNoArgument, kBeforeLogin, CmdFeat},
    // OPTS UTF8 is the only switch of UTF8, so the OPTS row carries its feature.
    {"OPTS", kArgument, kBeforeLogin, CmdOpts, kWaits, kNoHelp, {"UTF8"}},
    {"MDTM", kArgument, kAfterLogin, CmdMdtm, kWaits, kNoHelp, {"MDTM"}},
    {"MFMT", kArgument, kAfterLogin, CmdMfmt, kWaits, kNoHelp, {"MFMT"}},
    {"STAT", kNoArgument, kAfterLogin, CmdStat},
    {"EPSV", kNoArgument, kAfterLogin, CmdEpsv, kWaits, kNoHelp, {"EPSV"}},
    {"EPRT", kArgument, kAfterLogin, CmdEprt, kWaits, kNoHelp, {"EPRT"}},
    {"MLSD", kNoArgument, kAfterLogin, CmdMlsd},
    {"MLST", kNoArgument, kAfterLogin, CmdMlst, kWaits, kNoHelp, {"MLST", true}},
    {"AUTH", kArgument, kBeforeLogin, CmdAuth, kWaits, kNoHelp, {"AUTH TLS"}},
    {"PBSZ", kArgument, kBeforeLogin, CmdPbsz, kWaits, kNoHelp, {"PBSZ"}},
    {"PROT", kArgument, kBeforeLogin, CmdProt, kWaits, kNoHelp, {"PROT"}},
    {"CCC", kNoArgument, kBeforeLogin, CmdCcc},
    {"MODE", kArgument, kAfterLogin, CmdMode, kWaits, kNoHelp, {"MODE Z"}},
    {"HASH", kArgument, kAfterLogin, CmdHash, kWaits, kNoHelp, {"HASH", false, true}},
    {"RANG", kArgument, kAfterLogin, CmdRang},
    {"XCRC", kArgument, kAfterLogin, CmdXcrc},
    {"XMD5", kArgument, kAfterLogin, CmdXmd5},
    {"XSHA1", kArgument, kAfterLogin, CmdXsha1},
    {"XSHA256", kArgument, kAfterLogin, CmdXsha256},
    {"XSHA512", kArgument, kAfterLogin, CmdXsha512},
};

static_assert(std::size(kClassicCommands) == kCommandCount, "the classic ids are 0 to 30");

// Every keyword is one KeywordOf can produce and no other row holds (a second row of a
// keyword would never be reached).
constexpr bool RowsAreSound(std::span<const FtpCommandEntry> rows,
                            std::span<const FtpCommandEntry> before) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].keyword.empty()) return false;
        for (const char c : rows[i].keyword)
            if (c == ' ' || (c >= 'a' && c <= 'z')) return false;
        for (std::size_t j = 0; j < i; ++j)
            if (rows[j].keyword == rows[i].keyword) return false;
        for (const FtpCommandEntry& earlier : before)
            if (earlier.keyword == rows[i].keyword) return false;
    }
    return true;
}
static_assert(RowsAreSound(kClassicCommands, {}));
static_assert(RowsAreSound(kExtensionCommands, kClassicCommands));

}  // namespace

const FtpCommandEntry* FindCommand(std::string_view keyword) {
    for (const FtpCommandEntry& entry : kClassicCommands)
        if (entry.keyword == keyword) return &entry;
    for (const FtpCommandEntry& entry : kExtensionCommands)
        if (entry.keyword == keyword) return &entry;
    return nullptr;
}

int CommandRowCount() {
    return static_cast<int>(std::size(kClassicCommands) + std::size(kExtensionCommands));
}

int CommandRowIndex(const FtpCommandEntry& entry) {
    if (&entry >= std::begin(kClassicCommands) && &entry < std::end(kClassicCommands))
        return static_cast<int>(&entry - std::begin(kClassicCommands));
    if (&entry >= std::begin(kExtensionCommands) && &entry < std::end(kExtensionCommands))
        return kCommandCount + static_cast<int>(&entry - std::begin(kExtensionCommands));
    return CommandRowCount();
}

std::string_view CommandRowKeyword(int index) {
    if (index >= 0 && index < kCommandCount) return kClassicCommands[index].keyword;
    const int extension = index - kCommandCount;
    if (extension >= 0 && extension < static_cast<int>(std::size(kExtensionCommands)))
        return kExtensionCommands[extension].keyword;
    return {};
}

const std::vector<FeatLine>& FeatLines() {
    static const std::vector<FeatLine> lines = [] {
        std::vector<FeatLine> listed;
        const auto take = [&listed](std::span<const FtpCommandEntry> rows) {
            for (const FtpCommandEntry& entry : rows)
                if (!entry.feat.text.empty()) listed.push_back(entry.feat);
        };
        take(kClassicCommands);
        take(kExtensionCommands);
        std::sort(listed.begin(), listed.end(),
                  [](const FeatLine& a, const FeatLine& b) { return a.text < b.text; });
        return listed;
    }();
    return lines;
}

std::string KeywordOf(std::string_view line) {
    std::string keyword(line.substr(0, line.find(' ')));
    std::transform(keyword.begin(), keyword.end(), keyword.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (keyword.ends_with("ABOR")) keyword = "ABOR";
    return keyword;
}

bool ActsDuringDataWait(std::string_view line) {
    const FtpCommandEntry* entry = FindCommand(KeywordOf(line));
    return entry != nullptr && entry->actsDuringDataWait;
}
