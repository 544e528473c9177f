// USER and PASS: turning a connected client into a logged-in session. The account is
// read from user.sdb when PASS arrives; the session keeps only the name.
#include <chrono>
#include <cstdint>

#include "accounts/AccountStore.h"
#include "accounts/PasswordCheck.h"
#include "accounts/PasswordHash.h"
#include "accounts/RecordText.h"
#include "config/LogLine.h"
#include "ftp/Commands.h"
#include "ftp/HistoryNotes.h"
#include "ftp/HookReports.h"
#include "ftp/ResolveReplies.h"
#include "platform/StringFormat.h"
#include "server/ConnectThread.h"
#include "server/ControlSocket.h"
#include "server/FtpServer.h"
#include "server/LoginGuard.h"
#include "server/Observe.h"

namespace {

// The log lines below have a fixed shape that fail2ban filters rely on (README): the
// address comes first, before any text the client chose.
void RefuseLogin(CControlSocket& session, const std::string& address,
                 std::chrono::steady_clock::time_point arrival) {
    CFtpServer& server = session.Server();
    ObserveLogin(session, false);
    server.LogMessage(LogCategory::Error,
                      StringFormat("Login failed from %s for user \"%s\".", address.c_str(),
                                   session.UserName().c_str()),
                      LogSeverity::Warning);
    ReportLoginEvent(session, HookEventKind::LoginFailed);
    const LoginPolicy policy = server.GetLoginPolicy();
    const std::int64_t banned = server.LoginGuard().RecordFailure(address);
    if (banned > 0) {
        server.LogMessage(
            LogCategory::Error,
            StringFormat("Banned %s for %lld s after %d failed logins.", address.c_str(),
                         static_cast<long long>(banned), policy.banAttempts),
            LogSeverity::Warning);
        ObserveBan(server, address, banned, "ftp");
        ReportLoginEvent(session, HookEventKind::Ban);
    }
    // SECURITY: a guess costs the guesser the delay; the thread serves nothing else of
    // this session meanwhile but is not held, and other sessions never wait. The delay
    // counts from the arrival of PASS, so the work of the check is inside it, not added.
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - arrival);
    const auto delay = std::max(std::chrono::milliseconds(std::max(policy.failDelayMs, 0)) - spent,
                                std::chrono::milliseconds(0));
    if (banned > 0)
        session.ReplyLater(delay, kBannedReply, true);
    else
        session.ReplyLater(delay, "530 username or password incorrect.", false);
}

void LogOverCostHash(CControlSocket& session, const std::string& userName) {
    session.Server().LogMessage(
        LogCategory::Error,
        StringFormat("The stored password hash of user \"%s\" asks for more work than a login "
                     "allows; the login is refused (see tarvona-admin db check).",
                     userName.c_str()));
}

// True when `argument` logs in as `user` (nullptr: unknown or disabled account).
bool PasswordOpens(CControlSocket& session, const UserRecord* user, const std::string& argument,
                   bool hashing) {
    PasswordVerdict verdict;
    if (user != nullptr) verdict = CheckPassword(session.UserName(), user->password, argument);
    if (verdict.accepted) return true;
    if (verdict.overCost) LogOverCostHash(session, user->name);
    // SECURITY: with hashing on, every refusal does a hash's work, so an unknown or
    // disabled account (or a clear-text entry) answers no sooner than a wrong guess at a
    // hashed one.
    if (!verdict.hashed && hashing) SpendHashTime(ClearPassword(argument));
    return false;
}

// A clear-text entry becomes a hash at its first successful login once hashing is on.
void RehashIfClear(CControlSocket& session, const UserRecord& user, const std::string& clear) {
    if (user.password.empty() || IsPasswordHash(user.password)) return;
    const std::string hash = HashPassword(clear);
    if (hash.empty() ||
        !ReplaceStoredPassword(session.Server().ProgramDir(), user.name, user.password, hash))
        session.Server().LogMessage(
            LogCategory::Error,
            StringFormat("The password of user \"%s\" could not be stored hashed.",
                         user.name.c_str()));
}

}  // namespace

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
    const auto arrival = std::chrono::steady_clock::now();
    if (session.UserName().empty()) {
        session.SendReply("503 Please login with USER.");
        return;
    }
    CFtpServer& server = session.Server();
    const std::string& address = session.Owner().PeerAddress();
    // SECURITY: sessions opened before their address was banned guess no further.
    if (server.LoginGuard().BanSecondsLeft(address) > 0) {
        session.SendReply("%s", kBannedReply);
        session.EndSession();
        return;
    }
    // One reply for every refusal, so a client cannot tell an unknown name from a
    // wrong password or a disabled account. A refusal changes nothing in the session.
    UserRecord user;
    const LookupStatus found = LookUpUser(server.ProgramDir(), session.UserName(), user);
    if (ReplyIfAccountBusy(session, found)) return;
    const LoginPolicy policy = server.GetLoginPolicy();
    const bool enabled = found.ok() && IsStatusEnabled(user.status);
    if (!PasswordOpens(session, enabled ? &user : nullptr, argument, policy.hashPasswords)) {
        NoteRefusedLoginInHistory(server, found.ok() ? &user : nullptr);
        RefuseLogin(session, address, arrival);
        return;
    }
    if (!server.Sessions().LogIn(session.SessionId(), user.name, policy.maxPerUser)) {
        server.LogMessage(LogCategory::Server,
                          StringFormat("Login of user \"%s\" from %s refused: %d sessions already.",
                                       user.name.c_str(), address.c_str(), policy.maxPerUser));
        session.SendReply("530 Too many sessions of this user, please try again later.");
        return;
    }
    server.LoginGuard().RecordSuccess(address);
    session.SetCurrentDir("/");
    session.SetState(SessionState::Idle);
    ObserveLogin(session, true);
    if (policy.hashPasswords) RehashIfClear(session, user, ClearPassword(argument));
    session.SendReply("230 User logged in. proceed.");
    ReportLoginEvent(session, HookEventKind::Login);
}
