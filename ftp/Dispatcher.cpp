// Turns a received line into a keyword and an argument, applies the rules every
// command shares (missing argument, login), and runs the command's body.
#include "ftp/Dispatcher.h"

#include <chrono>

#include "config/LogLine.h"
#include "ftp/CommandTable.h"
#include "ftp/TlsRules.h"
#include "server/ControlSocket.h"
#include "server/FtpServer.h"

namespace {

// Shows `line`, and splits it into an upper-case keyword and the argument (everything
// after the first blank, unchanged). False when the keyword is empty.
bool GetCommand(CControlSocket& session, const std::string& line, std::string& keyword,
                std::string& argument) {
    // SECURITY: the one place received lines are shown; a password never reaches the log
    // nor the window.
    const std::string shown = MaskedCommandLine(line);
    session.Server().LogMessage(LogCategory::Received, ">> " + shown);
    if (CWindowSink* sink = session.Server().Sink())
        sink->OnSessionCommand(session.SessionId(), session.CurrentDir(), shown);
    const auto blank = line.find(' ');
    keyword = KeywordOf(line);
    argument = blank == std::string::npos ? std::string() : line.substr(blank + 1);
    return !keyword.empty();
}

// The rules every command shares, in order: a missing required argument (before the
// login check, so it applies before login too), then the login.
bool PassesCommonRules(CControlSocket& session, bool needsArgument, bool allowedBeforeLogin,
                       const std::string& argument) {
    if (needsArgument && argument.empty()) {
        session.SendReply("501 Syntax error in parameters or arguments.");
        return false;
    }
    if (!allowedBeforeLogin && session.State() == SessionState::NotLoggedIn) {
        session.SendReply("530 Please login with USER and PASS.");
        return false;
    }
    return true;
}

// What an unknown keyword gets: the rules of a command that takes no argument and
// needs a login.
constexpr FtpCommandEntry kUnknownCommand{"", false, false, CmdNotImplemented};

}  // namespace

void ProcessCommand(CControlSocket& session, const std::string& line) {
    std::string keyword;
    std::string argument;
    if (!GetCommand(session, line, keyword, argument)) return;
    // SECURITY: a NUL would cut the line short wherever it is used as a C string.
    if (keyword.find('\0') != std::string::npos || argument.find('\0') != std::string::npos) {
        session.SendReply("501 Syntax error in parameters or arguments.");
        return;
    }
    const FtpCommandEntry* found = FindCommand(keyword);
    const FtpCommandEntry& entry = found != nullptr ? *found : kUnknownCommand;
    session.Accounts().BeginCommand();
    const auto start = std::chrono::steady_clock::now();
    // An unknown keyword counts under the index past the rows: labels never come from
    // what a client sends.
    const int slot = found != nullptr ? CommandRowIndex(*found) : CommandRowCount();
    if (PassesCommonRules(session, entry.needsArgument, entry.allowedBeforeLogin, argument) &&
        TlsAllowsCommand(session, keyword))
        entry.handler(session, argument);
    session.Server().Metrics().CountCommand(slot, std::chrono::steady_clock::now() - start);
}
