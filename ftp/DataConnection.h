// Making the data connection of a session.
#pragma once

#include <cstdint>

#include "platform/Socket.h"

class CControlSocket;

// The family of the session's data sockets: that of its control connection, so a
// dual-stack control socket gives dual-stack data sockets that serve IPv4 clients too.
AddressFamily DataFamily(const CControlSocket& session);
// True when the client reached the server over IPv6 proper (not IPv4-mapped): PASV and
// PORT cannot describe its address.
bool IsIpv6Client(CControlSocket& session);
// False with the reply out when `keyword` (PORT, PASV or EPRT) may not run now: after
// EPSV ALL, or over IPv6 when the command has an extended form `extendedKeyword`.
[[nodiscard]] bool DataCommandAllowed(CControlSocket& session, const char* keyword,
                                      const char* extendedKeyword);
// Replaces the session's data socket by a passive one listening on the first free port
// of the passive range; `port` is its port. False with the 421 reply out.
[[nodiscard]] bool OpenPassiveSocket(CControlSocket& session, std::uint16_t& port);

// Connects to the PORT target, or waits for the client at the PASV socket, for at
// most 10 s while the thread's loop goes on. Lines that arrive meanwhile wait in the
// session's queue; ABOR, QUIT or BYE end the wait with "426 Data connection closed."
// before their own reply. True when the connection is up. On false the failure reply
// is out and the data connection is closed. Callers end the command on false.
[[nodiscard]] bool OpenDataConnection(CControlSocket& session);
