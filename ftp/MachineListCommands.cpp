// MLSD and MLST (machine listings with facts), their fact selection (OPTS MLST), and
// STAT with a path (LIST lines on the control connection). They list what LIST lists, under the
// same checks.
#include <string>
#include <vector>

#include "ftp/Commands.h"
#include "ftp/ListFormat.h"
#include "ftp/Listing.h"
#include "ftp/NameText.h"
#include "ftp/PathResolver.h"
#include "ftp/PathText.h"
#include "platform/Clock.h"
#include "platform/DirEntries.h"
#include "server/ControlSocket.h"

namespace {

struct PermLetter {
    char letter;
    PermissionKind kind;
};

// What a client may do with a file: read, write (store over), append, delete, rename.
constexpr PermLetter kFilePerms[] = {
    {'r', PermissionKind::Read},   {'w', PermissionKind::Write},  {'a', PermissionKind::Append},
    {'d', PermissionKind::Delete}, {'f', PermissionKind::Rename},
};
// ... and with a directory: enter, list, create files, make directories, remove, rename.
constexpr PermLetter kDirPerms[] = {
    {'e', PermissionKind::DirList},   {'l', PermissionKind::DirList},
    {'c', PermissionKind::Write},     {'m', PermissionKind::DirCreate},
    {'d', PermissionKind::DirRemove}, {'f', PermissionKind::DirRename},
};

// The perm fact from the permissions the commands themselves check at `local`: a
// file's are those of its directory, a directory's its own.
template <std::size_t N>
std::string PermText(CControlSocket& session, const std::string& local,
                     const PermLetter (&letters)[N]) {
    // Unselected, the fact is not shown: spare its table look-ups.
    if ((session.Settings().mlstFacts & kFactPerm) == 0) return {};
    // One table look-up per kind: "e" and "l" share one.
    constexpr std::size_t kKinds = static_cast<std::size_t>(PermissionKind::DirRename) + 1;
    std::string text;
    bool granted[kKinds] = {};
    bool asked[kKinds] = {};
    for (const PermLetter& p : letters) {
        const auto index = static_cast<std::size_t>(p.kind);
        if (!asked[index]) {
            granted[index] = CheckPermission(session, local, p.kind);
            asked[index] = true;
        }
        if (granted[index]) text += p.letter;
    }
    return text;
}

// The pdir line of `local` unless it is the top of the client's tree.
void AppendParentLine(CControlSocket& session, const std::string& local, std::string& text) {
    const std::string virtualPath = ToVirtualPath(session, local);
    if (virtualPath == "/" || virtualPath.empty() || virtualPath.front() != '/') return;
    const auto slash = virtualPath.find_last_of('/');
    const std::string parentVirtual = slash == 0 ? "/" : virtualPath.substr(0, slash);
    std::string parentLocal;
    DirEntry parent;
    if (!MapToLocal(session, parentVirtual, parentLocal) || !StatEntry(parentLocal, parent)) return;
    text += FormatFacts("pdir", parent, PermText(session, parentLocal, kDirPerms),
                        session.Settings().mlstFacts) +
            "..\r\n";
}

}  // namespace

void CmdMlsd(CControlSocket& session, const std::string& argument) {
    std::string local;
    if (!ResolveListedPath(session, argument, local)) return;
    std::vector<DirEntry> entries;
    if (!ReadListedEntries(local, entries)) {
        session.SendReply("501 \"%s\": Not a directory.", ControlSafe(argument).c_str());
        return;
    }
    std::string text;
    DirEntry self;
    if (StatEntry(local, self))
        text += FormatFacts("cdir", self, PermText(session, local, kDirPerms),
                            session.Settings().mlstFacts) +
                ".\r\n";
    AppendParentLine(session, local, text);
    const std::string filePerms = PermText(session, local, kFilePerms);
    for (const DirEntry& entry : entries) {
        const std::string perm = entry.isDirectory
                                     ? PermText(session, JoinLocal(local, entry.name), kDirPerms)
                                     : filePerms;
        text += FormatFacts(entry.isDirectory ? "dir" : "file", entry, perm,
                            session.Settings().mlstFacts) +
                ControlSafe(entry.name) + "\r\n";
    }
    for (const ListedFolder& folder : ListedFolders(session, local)) {
        DirEntry entry = folder.entry;
        entry.isDirectory = true;  // a folder is listed as a directory whatever it leads to
        text += FormatFacts("dir", entry, PermText(session, folder.dir, kDirPerms),
                            session.Settings().mlstFacts) +
                ControlSafe(folder.name) + "\r\n";
    }
    SendListingText(session, std::move(text));
}

void CmdMlst(CControlSocket& session, const std::string& argument) {
    std::string local;
    if (!ResolveListedPath(session, argument, local)) return;
    DirEntry entry;
    if (!StatEntry(local, entry)) {
        session.SendReply("550 \"%s\": Directory not found.", ControlSafe(argument).c_str());
        return;
    }
    const std::string perm = entry.isDirectory ? PermText(session, local, kDirPerms)
                                               : PermText(session, ParentOf(local), kFilePerms);
    const std::string name = ControlSafe(ToVirtualPath(session, local));
    session.SendReply("250-Listing %s", name.c_str());
    session.SendReply(
        " %s%s",
        FormatFacts(entry.isDirectory ? "dir" : "file", entry, perm, session.Settings().mlstFacts)
            .c_str(),
        name.c_str());
    session.SendReply("250 End");
}

void CmdOptsMlst(CControlSocket& session, const std::string& factList) {
    session.Settings().mlstFacts = ParseMlstFacts(factList);
    const std::string names = MlstFactNames(session.Settings().mlstFacts);
    if (names.empty())
        session.SendReply("200 MLST OPTS");
    else
        session.SendReply("200 MLST OPTS %s", names.c_str());
}

void CmdStatPath(CControlSocket& session, const std::string& argument) {
    std::vector<std::string> lines;
    if (!BuildListingLines(session, argument, lines, false)) return;
    session.SendReply("213-Status of %s:", ControlSafe(argument).c_str());
    for (std::string& line : lines) {
        line.resize(line.size() - 2);  // the CR LF SendReply adds again
        session.SendReply("%s", ControlSafe(std::move(line)).c_str());
    }
    session.SendReply("213 End of status");
}
