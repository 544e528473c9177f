// How a transfer and its data connection end, read in one place. A transfer ends inside
// a notification of its own data socket, which cannot destroy the socket it runs in, so
// the end takes two steps on the session's thread:
//   1. FinishTransfer, at once: the session is Idle, the final reply goes out, the
//      transfer event is counted, and step 2 is queued behind the running command
//      (CloseDataConnectionLater: WM_SESSION_CONTROL to the session's own thread);
//   2. EndDataConnection: the socket goes, the next transfer's data settings are
//      forgotten, and what an upload received is booked against the user's quota.
// ABOR, a new PASV and the end of the session take step 2 alone, so an upload cut
// short is booked all the same. The server reaches step 2 only through
// CControlSocket::CloseDataConnection.
#pragma once

#include "server/SessionEvents.h"

class CControlSocket;

// Step 1. The data socket has closed its file and connection already, if it had any.
void FinishTransfer(CControlSocket& session, const char* reply, TransferEvent event);

// Step 2: takes the session's data connection down now; nothing when it has none. A
// transfer that was still running is over (Idle); a session not logged in stays so.
void EndDataConnection(CControlSocket& session);
