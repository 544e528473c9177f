// Closing a session's data connection.
#include "ftp/DataSocket.h"
#include "server/ControlSocket.h"

void CControlSocket::CloseDataConnection() { m_dataSocket.reset(); }
