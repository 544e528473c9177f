// USER and PASS: turning a connected client into a logged-in session. The account is
// read from user.sdb when PASS arrives; the session keeps only the name.
#include <cstdint>
#include <cstdlib>

#include "accounts/AccountStore.h"
#include "accounts/PasswordCheck.h"
#include "ftp/Commands.h"
#include "ftp/ResolveReplies.h"
#include "server/ControlSocket.h"
#include "server/FtpServer.h"

void CmdUser(CControlSocket& session, const std::string& argument) {
    // USER logs a logged-in session out; the name is checked only at PASS.
    session.SetState(SessionState::NotLoggedIn);
    session.SetUserName(argument);
    std::string address;
    std::uint16_t port = 0;
    if (session.GetPeerName(address, port)) session.SetUserAddress(address);
    if (CWindowSink* sink = session.Server().Sink())
        sink->OnSessionAdded(session.SessionId(), session.UserName(), session.UserAddress());
    session.SendReply("331 username ok, need password.");
}

void CmdPass(CControlSocket& session, const std::string& argument) {
    if (session.UserName().empty()) {
        session.SendReply("503 Please login with USER.");
        return;
    }
    // One reply for every refusal, so a client cannot tell an unknown name from a
    // wrong password or a disabled account. A refusal changes nothing in the session.
    UserRecord user;
    const LookupResult found = LookUpUser(session.Server().ProgramDir(), session.UserName(), user);
    if (found == LookupResult::Busy) {
        ReplyAccountBusy(session);
        return;
    }
    if (found != LookupResult::Found || std::strtol(user.status.c_str(), nullptr, 10) != 1 ||
        !PasswordAccepted(session.UserName(), user.password, argument)) {
        session.SendReply("530 username or password incorrect.");
        return;
    }
    session.SetCurrentDir("/");
    session.SetState(SessionState::Idle);
    session.SendReply("230 User logged in. proceed.");
}
