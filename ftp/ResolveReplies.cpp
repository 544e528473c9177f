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

bool ReplyUnlessFileFound(CControlSocket& session, ResolveResult result) {
    if (result == ResolveResult::Found) return false;
    if (result == ResolveResult::Busy)
        ReplyAccountBusy(session);
    else if (result == ResolveResult::Denied)
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
