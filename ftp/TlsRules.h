// What the TLS policy ([TLS] Policy in option.ini) refuses to a session.
#pragma once

#include <string>

class CControlSocket;

// USER and PASS on a clear control connection when the policy asks for TLS at login:
// false, with the reply sent.
bool TlsAllowsCommand(CControlSocket& session, const std::string& keyword);
// A data connection without PROT P when the policy asks for encrypted data: false, with
// the reply sent.
bool TlsAllowsDataConnection(CControlSocket& session);
