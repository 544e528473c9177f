// The scope of a wait during which the session's lines are queued instead of run:
// a transfer command waiting for its data connection, a checksum being read. ABOR, QUIT
// and BYE cut it short (CControlSocket::BeginDataWait).
#pragma once

#include "server/ControlSocket.h"

// Whatever ends the wait, the session reads and runs its lines again afterwards.
class DataWaitScope {
public:
    explicit DataWaitScope(CControlSocket& session) : m_session(session) {
        session.BeginDataWait();
    }
    ~DataWaitScope() {
        if (!m_ended) (void)m_session.EndDataWait();
    }
    DataWaitScope(const DataWaitScope&) = delete;
    DataWaitScope& operator=(const DataWaitScope&) = delete;
    // True when ABOR, QUIT or BYE cut the wait short.
    bool End() {
        m_ended = true;
        return m_session.EndDataWait();
    }

private:
    CControlSocket& m_session;
    bool m_ended = false;
};
