// DELE, RNFR, RNTO, SIZE, REST.
#include <cctype>
#include <charconv>
#include <cinttypes>
#include <limits>
#include <mutex>

#include "accounts/AccountStore.h"
#include "ftp/Commands.h"
#include "ftp/HookReports.h"
#include "ftp/NameText.h"
#include "ftp/PathResolver.h"
#include "ftp/PathText.h"
#include "ftp/ResolveReplies.h"
#include "ftp/TransferLimits.h"
#include "ftp/TreeRoots.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "server/ControlSocket.h"
#include "server/FtpServer.h"
#include "server/Observe.h"

namespace {

// SECURITY: true when `argument`, read as a directory in any spelling (".", "/",
// "/pub/."), is the home or a folder's directory: a root is never a rename target.
bool NamesTreeRoot(CControlSocket& session, const std::string& argument) {
    std::string local;
    return ResolveDirPath(session, argument, PermissionKind::DirList, local).verdict !=
               PathVerdict::DirNotFound &&
           IsTreeRoot(session, local);
}

void ForgetRenameSource(CControlSocket& session) {
    session.Settings().renameSource.clear();
    session.Settings().renameIsFile = false;
}

// Forgets the rename source when the command ends, on every return path. RNTO reads
// the source until then.
struct RenameSourceReset {
    CControlSocket& session;
    ~RenameSourceReset() { ForgetRenameSource(session); }
};

// The REST argument as a byte offset: decimal digits only, within 64 bits. False for
// a sign, an exponent, a hexadecimal prefix or anything else.
bool ParseRestartOffset(const std::string& argument, std::int64_t& offset) {
    const std::string_view digits = TrimBlanks(argument);
    if (digits.empty() || !std::isdigit(static_cast<unsigned char>(digits.front()))) return false;
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, offset);
    return error == std::errc() && stop == end;
}

void RefundQuota(CControlSocket& session, std::int64_t deletedBytes) {
    std::lock_guard lock(session.Server().ConnectionLock());
    // A missing account or table skips the refund; nothing to tell the client. Uploads
    // book every started KiB; so is the refund counted, or upload and delete would leak.
    const LookupStatus refund =
        AddQuotaCurrent(session.Server().ProgramDir(), session.UserName(),
                        -static_cast<double>(StartedKiB(deletedBytes)), true);
    if (refund.IsBusy()) LogAccountBusy(session);
}

}  // namespace

void CmdDele(CControlSocket& session, const std::string& argument) {
    std::string local;
    if (ReplyUnlessFileFound(session,
                             ResolveFilePath(session, argument, PermissionKind::Delete, local)))
        return;
    if (IsTreeRoot(session, local)) {
        session.SendReply("550 No permission.");
        return;
    }
    const std::string shown = ControlSafe(ToVirtualPath(session, local));
    const std::int64_t size = std::max<std::int64_t>(GetFileSize(local), 0);
    if (!RemoveFile(local)) {
        session.SendReply("450 delete file error: \"%s\".", shown.c_str());
        return;
    }
    ObservePathEvent(session, "delete", local);
    session.SendReply("250 File \"%s\" was deleted .", shown.c_str());
    ReportPathEvent(session, HookEventKind::Delete, local, size);
    RefundQuota(session, size);
}

void CmdRnfr(CControlSocket& session, const std::string& argument) {
    // A refused RNFR leaves no source behind: a later RNTO must not move the one an
    // earlier RNFR named.
    ForgetRenameSource(session);
    std::string local;
    const PathResolution asFile = ResolveFilePath(session, argument, PermissionKind::Rename, local);
    if (ReplyIfAccountBusy(session, asFile.account)) return;
    const bool isFile = asFile.IsFound();
    const PathResolution result =
        isFile ? asFile : ResolveDirPath(session, argument, PermissionKind::DirRename, local);
    // SECURITY: the home directory and the folders' directories stay where they are,
    // however the client spells them ("." and "/pub/." included).
    if (result.IsFound() && IsTreeRoot(session, local)) {
        session.SendReply("550 No permission.");
        return;
    }
    if (isFile) {
        session.Settings().renameSource = local;
        session.Settings().renameIsFile = true;
        session.SendReply("350 File exists, ready for destination name.");
        return;
    }
    if (ReplyIfAccountBusy(session, result.account)) return;
    if (result.IsFound()) {
        session.Settings().renameSource = local;
        session.Settings().renameIsFile = false;
        session.SendReply("350 Directory exists, ready for destination name.");
    } else if (result.verdict == PathVerdict::Denied) {
        session.SendReply("550 No permission.");
    } else {
        session.SendReply("550 File/directory not found.");
    }
}

void CmdRnto(CControlSocket& session, const std::string& argument) {
    if (session.Settings().renameSource.empty()) {
        session.SendReply("503 Bad sequence of commands.");
        return;
    }
    // One RNTO per RNFR, whatever its outcome.
    const RenameSourceReset forget{session};
    if (RefuseUnsafeName(session, argument)) return;
    if (NamesTreeRoot(session, argument) || IsTreeRoot(session, session.Settings().renameSource)) {
        session.SendReply("550 No permission.");
        return;
    }
    const bool isFile = session.Settings().renameIsFile;
    std::string target;
    const PathResolution result =
        isFile ? ResolveFilePath(session, argument, PermissionKind::Rename, target)
               : ResolveDirPath(session, argument, PermissionKind::DirRename, target);
    if (result.IsFound()) {
        session.SendReply("550 %s already exists.", isFile ? "File" : "Directory");
        return;
    }
    if (ReplyIfAccountBusy(session, result.account)) return;
    // SECURITY: the target needs the permission too, or a rename could place a file
    // where the user may not write.
    const std::string targetDir = isFile ? ParentOf(target) : target;
    // SECURITY: no entry of the home may hide a virtual folder of the same name.
    if (result.verdict == PathVerdict::Denied || ShadowsVirtualFolder(session, target) ||
        (!target.empty() &&
         !CheckPermission(session, targetDir,
                          isFile ? PermissionKind::Rename : PermissionKind::DirRename))) {
        session.SendReply("550 No permission.");
        return;
    }
    const std::string shown = ControlSafe(ToVirtualPath(session, session.Settings().renameSource));
    if (MovePath(session.Settings().renameSource, target)) {
        ObservePathEvent(session, "rename", session.Settings().renameSource, target);
        session.SendReply("250 %s \"%s\" renamed .", isFile ? "File" : "Directory", shown.c_str());
        ReportRename(session, session.Settings().renameSource, target);
    } else {
        session.SendReply("450 error rename the %s: \"%s\".", isFile ? "file" : "directory",
                          shown.c_str());
    }
}

void CmdSize(CControlSocket& session, const std::string& argument) {
    std::string local;
    if (ReplyUnlessFileFound(session,
                             ResolveFilePath(session, argument, PermissionKind::Read, local)))
        return;
    // SECURITY: as RETR, a named pipe or device has no size to tell.
    if (!IsRegularFile(local)) {
        session.SendReply("550 Not a regular file.");
        return;
    }
    session.SendReply("213 %" PRId64, std::max<std::int64_t>(GetFileSize(local), 0));
}

void CmdRest(CControlSocket& session, const std::string& argument) {
    // A 64-bit offset, so a resumed transfer of a file over 2 GiB continues at the
    // right byte. A malformed one is refused rather than read as some other offset.
    std::int64_t offset = 0;
    if (!ParseRestartOffset(argument, offset)) {
        session.SendReply("501 Syntax error: Invalid parameter.");
        return;
    }
    session.Settings().data.restartOffset = offset;
    session.SendReply("350 Restarting at byte offset %" PRId64 ".",
                      session.Settings().data.restartOffset);
}
