// RETR, STOR and APPE: resolve the file, make the data connection, hand the transfer
// to the data socket, which replies at its end.
#include <string>

#include "ftp/Commands.h"
#include "ftp/DataConnection.h"
#include "ftp/DataSocket.h"
#include "ftp/PathResolver.h"
#include "ftp/ResolveReplies.h"
#include "ftp/TreeRoots.h"
#include "platform/FileSystem.h"
#include "server/ControlSocket.h"

namespace {

// STOR and APPE once the target is known; `keepBytes` of the file stay.
void RunUpload(CControlSocket& session, const std::string& local, std::int64_t keepBytes) {
    session.SendReply("150 File status okay; about to open data connection.");
    if (!OpenDataConnection(session)) return;
    session.SetState(SessionState::Uploading);
    CDataSocket& socket = *session.DataSocket();
    session.Settings().data.transferFile = local;
    if (!socket.ReadLimits(LimitKind::Upload)) return;
    socket.StartUpload(local, keepBytes);
    socket.EnableRead(true);
}

// SECURITY: a transfer touches regular files only; a named pipe or device would hold
// the session thread or never end.
bool RefuseUnlessRegularFile(CControlSocket& session, const std::string& local) {
    if (IsRegularFile(local)) return false;
    session.SendReply("550 Not a regular file.");
    return true;
}

bool ResolveUploadTarget(CControlSocket& session, const std::string& argument, PermissionKind kind,
                         std::string& local) {
    if (RefuseUnsafeName(session, argument)) return false;
    const PathResolution resolved = ResolveFilePath(session, argument, kind, local);
    if (ReplyIfAccountBusy(session, resolved.account)) return false;
    switch (resolved.verdict) {
        case PathVerdict::Found:
            break;
        case PathVerdict::Denied:
            session.SendReply("550 No permission.");
            return false;
        default:
            session.SendReply("550 Filename unavailable.");
            return false;
    }
    if (GetPathKind(local) == PathKind::Missing) {
        // SECURITY: a new entry of the home may not hide a virtual folder of that name.
        if (!ShadowsVirtualFolder(session, local)) return true;
        session.SendReply("550 No permission.");
        return false;
    }
    return !RefuseUnlessRegularFile(session, local);
}

}  // namespace

void CmdRetr(CControlSocket& session, const std::string& argument) {
    std::string local;
    const PathResolution resolved = ResolveFilePath(session, argument, PermissionKind::Read, local);
    if (ReplyIfAccountBusy(session, resolved.account)) return;
    switch (resolved.verdict) {
        case PathVerdict::Found:
            break;
        case PathVerdict::Denied:
            session.SendReply("550 No permission.");
            return;
        default:
            session.SendReply("550 File not found.");
            return;
    }
    // SECURITY: as RefuseUnlessRegularFile, with the size REST is checked against.
    const std::int64_t size = RegularFileSize(local);
    if (size < 0) {
        session.SendReply("550 Not a regular file.");
        return;
    }
    // An offset at the end sends nothing: the client has the whole file. One past it
    // names bytes that do not exist; sending the file from 0 instead would be appended
    // to what the client already has.
    std::int64_t& offset = session.Settings().data.restartOffset;
    if (offset > size) {
        offset = 0;
        session.SendReply("554 Invalid REST parameter.");
        return;
    }
    session.SendReply("150 File status okay; about to open data connection.");
    if (!OpenDataConnection(session)) return;
    session.SetState(SessionState::Downloading);
    CDataSocket& socket = *session.DataSocket();
    session.Settings().data.transferFile = local;
    socket.EnableRead(true);
    if (!socket.ReadLimits(LimitKind::Download)) return;
    socket.StartDownload(local, session.Settings().data.restartOffset);
}

void CmdStor(CControlSocket& session, const std::string& argument) {
    std::string local;
    if (!ResolveUploadTarget(session, argument, PermissionKind::Write, local)) return;
    // A resumed upload (REST n) keeps the first n bytes and continues after them;
    // writing the rest at byte 0 would corrupt the file. The kept part must exist.
    std::int64_t& offset = session.Settings().data.restartOffset;
    const std::int64_t keep = offset > 0 ? offset : 0;
    if (keep > 0 && (GetPathKind(local) != PathKind::File || GetFileSize(local) < keep)) {
        offset = 0;
        session.SendReply("554 Invalid REST parameter.");
        return;
    }
    offset = keep;
    RunUpload(session, local, keep);
}

void CmdAppe(CControlSocket& session, const std::string& argument) {
    std::string local;
    if (!ResolveUploadTarget(session, argument, PermissionKind::Append, local)) return;
    const std::int64_t size = GetPathKind(local) == PathKind::File ? GetFileSize(local) : 0;
    session.Settings().data.restartOffset = size > 0 ? size : 0;
    RunUpload(session, local, session.Settings().data.restartOffset);
}
