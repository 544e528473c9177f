// Making the data connection of a session.
#pragma once

class CControlSocket;

// Connects to the PORT target, or waits for the client at the PASV socket, for at
// most 10 s while the thread's loop goes on (a command arriving meanwhile runs inside
// the wait). True when the connection is up. On false the failure reply is out and
// the data connection is already closed, except when a command run during the wait
// replaced or closed the socket: then that command's reply stands and nothing else
// is touched. Callers end the command on false.
[[nodiscard]] bool OpenDataConnection(CControlSocket& session);
