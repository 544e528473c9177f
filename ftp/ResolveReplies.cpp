#include "ftp/ResolveReplies.h"

#include "ftp/NameText.h"
#include "server/ControlSocket.h"
#include "server/FtpServer.h"

void LogAccountBusy(CControlSocket& session) {
    session.Server().LogMessage(LogCategory::Error,
                                "Account data of " + session.UserName() +
                                    " is busy: a table stayed locked by another process.");
}

void ReplyAccountBusy(CControlSocket& session) {
    LogAccountBusy(session);
    session.SendReply("451 Account data is busy, try again.");
}

bool ReplyIfAccountBusy(CControlSocket& session, const LookupStatus& status) {
    if (!status.IsBusy()) return false;
    ReplyAccountBusy(session);
    return true;
}

bool ReplyUnlessFileFound(CControlSocket& session, const PathResolution& resolved) {
    if (resolved.IsFound()) return false;
    if (ReplyIfAccountBusy(session, resolved.account)) return true;
    if (resolved.verdict == PathVerdict::Denied)
        session.SendReply("550 No permission.");
    else
        session.SendReply("550 File unavailable.");
    return true;
}

bool RefuseUnsafeName(CControlSocket& session, const std::string& argument) {
    if (!HasLineBreakOrNul(argument)) return false;
    session.SendReply("553 Requested action not taken. File name not allowed.");
    return true;
}
