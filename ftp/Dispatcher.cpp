// Turns a received line into a keyword and an argument, applies the rules every
// command shares (missing argument, login), and runs the command's body.
#include "ftp/CommandTable.h"
#include "config/LogLine.h"
#include "ftp/Commands.h"
#include "ftp/ExtensionTable.h"
#include "server/ConnectThread.h"
#include "server/ControlSocket.h"
#include "server/FtpServer.h"

namespace {

// Bodies by command id; same-behaviour pairs share one body.
const CommandHandler kHandlers[kCommandCount] = {
    &CmdAbor,      // ABOR
    &CmdAppe,      // APPE
    &CmdQuit,      // BYE
    &CmdCdup,      // CDUP
    &CmdCwd,       // CWD
    &CmdDele,      // DELE
    &CmdHelp,      // HELP
    &CmdList,      // LIST
    &CmdMkd,       // MKD
    &CmdNlst,      // NLST
    &CmdNoop,      // NOOP
    &CmdPass,      // PASS
    &CmdPasv,      // PASV
    &CmdPasv,      // P@SW
    &CmdPort,      // PORT
    &CmdPwd,       // PWD
    &CmdQuit,      // QUIT
    &CmdRest,      // REST
    &CmdRetr,      // RETR
    &CmdRmd,       // RMD
    &CmdRnfr,      // RNFR
    &CmdRnto,      // RNTO
    &CmdSize,      // SIZE
    &CmdStor,      // STOR
    &CmdSyst,      // SYST
    &CmdType,      // TYPE
    &CmdUser,      // USER
    &CmdCwd,       // XCWD
    &CmdMkd,       // XMKD
    &CmdPwd,       // XPWD
    &CmdRmd,       // XRMD
};

bool AllowedBeforeLogin(int id) {
    return id == static_cast<int>(CommandId::User) || id == static_cast<int>(CommandId::Pass) ||
           id == static_cast<int>(CommandId::Quit) || id == static_cast<int>(CommandId::Bye);
}

}  // namespace

bool CControlSocket::GetCommand(std::string& keyword, std::string& argument) {
    if (m_commandQueue.empty()) return false;
    const std::string line = std::move(m_commandQueue.front());
    m_commandQueue.pop_front();
    // SECURITY: the one place received lines are shown; a password never reaches the log
    // nor the window.
    const std::string shown = MaskedCommandLine(line);
    Server().LogMessage(LogCategory::Received, ">> " + shown);
    if (CWindowSink* sink = Server().Sink()) sink->OnSessionCommand(SessionId(), m_currentDir, shown);
    const auto blank = line.find(' ');
    keyword = KeywordOf(line);
    argument = blank == std::string::npos ? std::string() : line.substr(blank + 1);
    return !keyword.empty();
}

namespace {

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

}  // namespace

void CControlSocket::ProcessCommand() {
    std::string keyword;
    std::string argument;
    if (!GetCommand(keyword, argument)) return;
    // SECURITY: a NUL would cut the line short wherever it is used as a C string.
    if (keyword.find('\0') != std::string::npos || argument.find('\0') != std::string::npos) {
        SendReply("501 Syntax error in parameters or arguments.");
        return;
    }
    const FtpCommandEntry& entry = FindCommand(keyword);
    if (entry.id != static_cast<int>(CommandId::None)) {
        if (PassesCommonRules(*this, entry.needsArgument == 1, AllowedBeforeLogin(entry.id), argument))
            kHandlers[entry.id](*this, argument);
        return;
    }
    if (const ExtensionEntry* extension = FindExtension(keyword)) {
        if (PassesCommonRules(*this, extension->needsArgument, extension->allowedBeforeLogin, argument))
            extension->handler(*this, argument);
        return;
    }
    if (PassesCommonRules(*this, false, false, argument)) SendReply("502 Command not implemented.");
}
