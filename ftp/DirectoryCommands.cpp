// CWD, XCWD, CDUP, PWD, XPWD, MKD, XMKD, RMD, XRMD.
#include "ftp/Commands.h"
#include "ftp/HookReports.h"
#include "ftp/NameText.h"
#include "ftp/PathResolver.h"
#include "ftp/PathText.h"
#include "ftp/ResolveReplies.h"
#include "ftp/TreeRoots.h"
#include "platform/FileSystem.h"
#include "server/ControlSocket.h"
#include "server/Observe.h"

namespace {

// Creates every missing level of `localPath`, as far up as it must; the outcome of
// the last creation decides.
bool CreateDirectoryTree(const std::string& localPath) {
    for (std::size_t slash = localPath.find('/', 1); slash != std::string::npos;
         slash = localPath.find('/', slash + 1))
        (void)MakeDirectory(localPath.substr(0, slash));
    return MakeDirectory(localPath);
}

// The CWD procedure; `shown` is the text the failure replies quote.
void ChangeDirectory(CControlSocket& session, const std::string& argument,
                     const std::string& shown) {
    std::string local;
    const PathResolution resolved =
        ResolveDirPath(session, argument, PermissionKind::DirList, local);
    if (ReplyIfAccountBusy(session, resolved.account)) return;
    switch (resolved.verdict) {
        case PathVerdict::Found:
            session.SetCurrentDir(ToVirtualPath(session, local));
            ObservePathEvent(session, "directory_change", local);
            session.SendReply("250 CWD command successful \"%s\" is current directory.",
                              ControlSafe(session.CurrentDir()).c_str());
            return;
        case PathVerdict::Denied:
            session.SendReply("550 \"%s\": No permission.", ControlSafe(shown).c_str());
            return;
        default:
            session.SendReply("550 \"%s\": CWD command failed. No permission.",
                              ControlSafe(shown).c_str());
            return;
    }
}

}  // namespace

void CmdCwd(CControlSocket& session, const std::string& argument) {
    ChangeDirectory(session, argument, argument);
}

void CmdCdup(CControlSocket& session, const std::string&) {
    // To the parent of the current directory, staying at "/" at the top.
    const std::string current = StripTrailingSlashes(session.CurrentDir());
    const auto slash = current.rfind('/');
    const std::string parent =
        slash == std::string::npos || slash == 0 ? "/" : current.substr(0, slash);
    ChangeDirectory(session, parent, "..");
}

void CmdPwd(CControlSocket& session, const std::string&) {
    session.SendReply("257 \"%s\" is current directory.",
                      ControlSafe(session.CurrentDir()).c_str());
}

void CmdMkd(CControlSocket& session, const std::string& argument) {
    if (RefuseUnsafeName(session, argument)) return;
    std::string local;
    const PathResolution resolved =
        ResolveDirPath(session, argument, PermissionKind::DirCreate, local);
    if (ReplyIfAccountBusy(session, resolved.account)) return;
    switch (resolved.verdict) {
        case PathVerdict::Found:
            session.SendReply("550 Directory exists.");
            return;
        case PathVerdict::Denied:
            session.SendReply("550 can't create directory. No permission.");
            return;
        default:
            if (CreateDirectoryTree(local)) {
                session.SendReply("250 Directory created.");
                ReportPathEvent(session, HookEventKind::MakeDir, local);
            } else {
                session.SendReply("450 create directory error.");
            }
            return;
    }
}

void CmdRmd(CControlSocket& session, const std::string& argument) {
    std::string local;
    const PathResolution resolved =
        ResolveDirPath(session, argument, PermissionKind::DirRemove, local);
    if (ReplyIfAccountBusy(session, resolved.account)) return;
    if (resolved.verdict == PathVerdict::Denied) {
        session.SendReply("550 No permission.");
        return;
    }
    if (!resolved.IsFound()) {
        session.SendReply("550 Directory unavailable.");
        return;
    }
    // SECURITY: the home directory and the folders' directories are never removed,
    // however the client spells them (".", "/pub/.").
    if (IsTreeRoot(session, local)) {
        session.SendReply("550 No permission.");
        return;
    }
    switch (RemoveDirectory(local)) {
        case RemoveDirResult::Removed:
            ObservePathEvent(session, "remove_directory", local);
            session.SendReply("250 Directory deleted.");
            ReportPathEvent(session, HookEventKind::RemoveDir, local);
            return;
        case RemoveDirResult::NotEmpty:
            session.SendReply("550 Directory is not empty.");
            return;
        case RemoveDirResult::Failed:
            session.SendReply("450 delete directory error.");
            return;
    }
}
