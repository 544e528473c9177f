// Commands whose bodies are not built yet answer as unknown keywords do. Each body
// leaves this file when it is built.
#include "ftp/Commands.h"

void CmdStatPath(CControlSocket& session, const std::string& argument) { CmdNotImplemented(session, argument); }
