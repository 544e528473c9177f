#include "ftp/ResolveReplies.h"

#include "server/ControlSocket.h"

bool ReplyUnlessFileFound(CControlSocket& session, ResolveResult result) {
    if (result == ResolveResult::Found) return false;
    if (result == ResolveResult::Denied)
        session.SendReply("550 No permission.");
    else
        session.SendReply("550 File unavailable.");
    return true;
}
