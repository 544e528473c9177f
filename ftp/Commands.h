// The command bodies. Each takes the session and the argument exactly as received,
// answers with SendReply and returns; runs on the session's thread.
#pragma once

#include <string>

class CControlSocket;

using CommandHandler = void (*)(CControlSocket& session, const std::string& argument);

// Simple commands.
void CmdNoop(CControlSocket& session, const std::string& argument);
void CmdSyst(CControlSocket& session, const std::string& argument);
void CmdHelp(CControlSocket& session, const std::string& argument);
void CmdType(CControlSocket& session, const std::string& argument);
void CmdQuit(CControlSocket& session, const std::string& argument);
void CmdAbor(CControlSocket& session, const std::string& argument);
// Answers a keyword the server does not implement.
void CmdNotImplemented(CControlSocket& session, const std::string& argument);
