// Commands whose bodies are not built yet answer as unknown keywords do. Each body
// leaves this file when it is built.
#include "ftp/Commands.h"

void CmdUser(CControlSocket& session, const std::string& argument) { CmdNotImplemented(session, argument); }

void CmdPass(CControlSocket& session, const std::string& argument) { CmdNotImplemented(session, argument); }

void CmdPasv(CControlSocket& session, const std::string& argument) { CmdNotImplemented(session, argument); }

void CmdPort(CControlSocket& session, const std::string& argument) { CmdNotImplemented(session, argument); }

void CmdList(CControlSocket& session, const std::string& argument) { CmdNotImplemented(session, argument); }

void CmdNlst(CControlSocket& session, const std::string& argument) { CmdNotImplemented(session, argument); }

void CmdRetr(CControlSocket& session, const std::string& argument) { CmdNotImplemented(session, argument); }

void CmdStor(CControlSocket& session, const std::string& argument) { CmdNotImplemented(session, argument); }

void CmdAppe(CControlSocket& session, const std::string& argument) { CmdNotImplemented(session, argument); }
