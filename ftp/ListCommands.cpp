// LIST and NLST: the listing is built whole, then sent over the data connection.
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "accounts/AccountStore.h"
#include "ftp/Commands.h"
#include "ftp/DataConnection.h"
#include "ftp/DataSocket.h"
#include "ftp/ListFormat.h"
#include "ftp/PathText.h"
#include "platform/Clock.h"
#include "platform/DirEntries.h"
#include "platform/FileSystem.h"
#include "server/ControlSocket.h"
#include "server/FtpServer.h"

namespace {

std::string TrimBlanks(const std::string& text) {
    auto isBlank = [](unsigned char c) { return std::isspace(c) != 0; };
    auto first = std::find_if_not(text.begin(), text.end(), isBlank);
    auto last = std::find_if_not(text.rbegin(), text.rend(), isBlank).base();
    return first < last ? std::string(first, last) : std::string();
}

void AppendEntry(std::string& text, const DirEntry& entry, bool namesOnly, std::int64_t now) {
    text += namesOnly ? entry.name + "\r\n" : FormatListLine(entry, now);
}

// The folders of one table whose directory exists, in record order.
void AppendFolders(std::string& text, const std::string& table, bool namesOnly, std::int64_t now) {
    std::vector<VirtualFolder> folders;
    if (!ReadFolders(table, folders)) return;
    for (const VirtualFolder& folder : folders) {
        const std::string name = TrimBlanks(folder.name);
        const std::string dir = UsableLocalDir(folder.dir);
        DirEntry found;
        if (name.empty() || dir.empty() || !StatEntry(dir, found)) continue;
        text += namesOnly ? name + "\r\n" : FormatFolderLine(name, found, now);
    }
}

// The home directory lists the user's virtual folders, then each group's.
void AppendVirtualFolders(CControlSocket& session, const std::string& localPath, std::string& text,
                          bool namesOnly, std::int64_t now) {
    UserRecord user;
    const std::string& programDir = session.Server().ProgramDir();
    if (!ReadUser(programDir, session.UserName(), user)) return;
    if (UsableLocalDir(localPath) != UsableLocalDir(user.homeDir)) return;
    AppendFolders(text, UserFolderTablePath(programDir, user.id), namesOnly, now);
    for (std::int32_t group : ParseGroupList(user.groups))
        AppendFolders(text, GroupFolderTablePath(programDir, group), namesOnly, now);
}

// Builds the listing of `argument` (the current directory when empty). False when it
// cannot be listed; the 550 reply is then out.
bool BuildListing(CControlSocket& session, const std::string& argument, std::string& text,
                  bool namesOnly) {
    text.clear();
    const std::string path = argument.empty() ? session.CurrentDir() : argument;
    std::string local;
    switch (session.ResolveDirPath(path, PermissionKind::DirList, local)) {
        case ResolveResult::Found: break;
        case ResolveResult::Denied:
            session.SendReply("550 \"%s\": No permission.", argument.c_str());
            return false;
        default:
            session.SendReply("550 \"%s\": Directory not found.", argument.c_str());
            return false;
    }
    const std::int64_t now = NowSeconds();
    std::vector<DirEntry> entries;
    DirEntry single;
    // A path naming a file lists that file alone; one that cannot be read lists as an
    // empty directory.
    if (GetPathKind(local) == PathKind::File && StatEntry(local, single))
        entries.push_back(std::move(single));
    else
        (void)ListDirectory(local, entries);
    for (const DirEntry& entry : entries) AppendEntry(text, entry, namesOnly, now);
    AppendVirtualFolders(session, local, text, namesOnly, now);
    return true;
}

void RunListing(CControlSocket& session, const std::string& argument, bool namesOnly) {
    std::string text;
    if (!BuildListing(session, argument, text, namesOnly)) return;
    session.SendReply("150 Accepted data connection.");
    if (!OpenDataConnection(session)) return;
    if (text.empty()) {
        session.CloseDataConnection();
        session.SendReply("226 Transfer complete.");
        session.SetState(SessionState::Idle);
        return;
    }
    session.SetState(SessionState::Listing);
    CDataSocket& socket = *session.m_dataSocket;
    socket.ReadLimits(LimitKind::None);
    socket.EnableRead(true);
    socket.SendListing(std::move(text));
}

}  // namespace

void CmdList(CControlSocket& session, const std::string& argument) {
    RunListing(session, argument, false);
}

void CmdNlst(CControlSocket& session, const std::string& argument) {
    RunListing(session, argument, true);
}
