// The single data connection of a session: one per listing or transfer.
#pragma once

#include "platform/Socket.h"

class CControlSocket;

class CDataSocket : public CAsyncSocket {
public:
    explicit CDataSocket(CControlSocket& session) : m_session(session) {}

private:
    CControlSocket& m_session;
};
