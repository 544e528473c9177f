// LIST and NLST, and the listing pieces every listing command shares (ftp/Listing.h):
// a listing is built whole, then sent over the data connection.
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "accounts/AccountStore.h"
#include "ftp/Commands.h"
#include "ftp/DataConnection.h"
#include "ftp/DataSocket.h"
#include "ftp/ListFormat.h"
#include "ftp/Listing.h"
#include "ftp/NameText.h"
#include "ftp/PathResolver.h"
#include "ftp/PathText.h"
#include "ftp/ResolveReplies.h"
#include "ftp/TransferEnd.h"
#include "platform/Clock.h"
#include "platform/DirEntries.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "server/ControlSocket.h"
#include "server/FtpServer.h"

namespace {

// The folders of one table whose directory exists, in record order.
void AppendFolders(CAccountCache& tables, std::vector<ListedFolder>& out,
                   const std::string& table) {
    std::vector<VirtualFolder> folders;
    if (!tables.LookUpFolders(table, folders).ok()) return;
    for (const VirtualFolder& folder : folders) {
        ListedFolder listed;
        listed.name = Trim(folder.name, kWhitespace);
        listed.dir = UsableLocalDir(folder.dir);
        if (listed.name.empty() || listed.dir.empty() || !StatEntry(listed.dir, listed.entry))
            continue;
        listed.entry.name = listed.name;
        out.push_back(std::move(listed));
    }
}

}  // namespace

std::string WithoutListOptions(const std::string& argument) {
    std::size_t pos = 0;
    for (;;) {
        while (pos < argument.size() && argument[pos] == ' ') ++pos;
        // An option word is "-" and at least one more character up to a blank.
        if (pos + 1 >= argument.size() || argument[pos] != '-' || argument[pos + 1] == ' ') break;
        pos = argument.find(' ', pos);
        if (pos == std::string::npos) return {};
    }
    return argument.substr(pos);
}

std::vector<ListedFolder> ListedFolders(CControlSocket& session, const std::string& localPath) {
    std::vector<ListedFolder> out;
    UserRecord user;
    const std::string& programDir = session.Server().ProgramDir();
    CAccountCache& tables = session.Accounts();
    if (!tables.LookUpUser(programDir, session.UserName(), user).ok()) return out;
    if (UsableLocalDir(localPath) != UsableLocalDir(user.homeDir)) return out;
    AppendFolders(tables, out, UserFolderTablePath(programDir, user.id));
    for (std::int32_t group : ParseGroupList(user.groups))
        AppendFolders(tables, out, GroupFolderTablePath(programDir, group));
    return out;
}

bool ResolveListedPath(CControlSocket& session, const std::string& argument, std::string& local) {
    const std::string path = argument.empty() ? session.CurrentDir() : argument;
    const PathResolution resolved = ResolveDirPath(session, path, PermissionKind::DirList, local);
    if (ReplyIfAccountBusy(session, resolved.account)) return false;
    switch (resolved.verdict) {
        case PathVerdict::Found:
            return true;
        case PathVerdict::Denied:
            session.SendReply("550 \"%s\": No permission.", ControlSafe(argument).c_str());
            return false;
        default:
            session.SendReply("550 \"%s\": Directory not found.", ControlSafe(argument).c_str());
            return false;
    }
}

bool ReadListedEntries(const std::string& local, std::vector<DirEntry>& entries) {
    entries.clear();
    DirEntry single;
    // A path naming a file lists that file alone; one that cannot be read lists as an
    // empty directory.
    if (GetPathKind(local) == PathKind::File && StatEntry(local, single)) {
        entries.push_back(std::move(single));
        return false;
    }
    (void)ListDirectory(local, entries);
    return true;
}

bool BuildListingLines(CControlSocket& session, const std::string& argument,
                       std::vector<std::string>& lines, bool namesOnly) {
    lines.clear();
    std::string local;
    if (!ResolveListedPath(session, WithoutListOptions(argument), local)) return false;
    const std::int64_t now = NowSeconds();
    std::vector<DirEntry> entries;
    (void)ReadListedEntries(local, entries);
    for (DirEntry& entry : entries) {
        entry.name = ControlSafe(std::move(entry.name));
        lines.push_back(namesOnly ? entry.name + "\r\n" : FormatListLine(entry, now));
    }
    for (const ListedFolder& folder : ListedFolders(session, local)) {
        const std::string name = ControlSafe(folder.name);
        lines.push_back(namesOnly ? name + "\r\n" : FormatFolderLine(name, folder.entry, now));
    }
    return true;
}

void SendListingText(CControlSocket& session, std::string text) {
    session.SendReply("150 Accepted data connection.");
    if (!OpenDataConnection(session)) return;
    if (text.empty()) {
        EndDataConnection(session);
        session.SendReply("226 Transfer complete.");
        session.SetState(SessionState::Idle);
        return;
    }
    session.SetState(SessionState::Listing);
    CDataSocket& socket = *session.DataSocket();
    (void)socket.ReadLimits(LimitKind::None);  // a listing is held to no limit
    socket.EnableRead(true);
    socket.SendListing(std::move(text));
}

namespace {

void RunListing(CControlSocket& session, const std::string& argument, bool namesOnly) {
    std::vector<std::string> lines;
    if (!BuildListingLines(session, argument, lines, namesOnly)) return;
    std::string text;
    for (const std::string& line : lines) text += line;
    SendListingText(session, std::move(text));
}

}  // namespace

void CmdList(CControlSocket& session, const std::string& argument) {
    RunListing(session, argument, false);
}

void CmdNlst(CControlSocket& session, const std::string& argument) {
    RunListing(session, argument, true);
}
