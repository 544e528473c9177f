// What the sessions tell the transfer history (server/TransferHistory.h).
#pragma once

#include "server/SessionEvents.h"

class CControlSocket;
class CFtpServer;
struct UserRecord;

// A transfer of `session` ends with `event`: its user, and the file bytes its data
// connection moved. Session's thread, before the data connection goes.
void NoteTransferInHistory(CControlSocket& session, TransferEvent event);
// A login was refused: counted under the account's name, or under one shared row when no
// account of that name exists (`account` null), so guessed names add no rows.
void NoteRefusedLoginInHistory(CFtpServer& server, const UserRecord* account);
