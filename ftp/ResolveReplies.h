// Replies shared by the commands that name an existing file (DELE, SIZE, MDTM, MFMT),
// and the answer every command gives when the account tables stay locked.
#pragma once

#include "ftp/PathTypes.h"

class CControlSocket;

// Logs that the session's account tables stayed locked past the bounded wait.
void LogAccountBusy(CControlSocket& session);
// Logs it and answers "451 Account data is busy, try again."; the session goes on.
void ReplyAccountBusy(CControlSocket& session);

// Answers a file resolution that did not find a usable file: "550 No permission." when
// denied, the busy reply when busy, "550 File unavailable." otherwise. True when it
// answered (the command ends).
bool ReplyUnlessFileFound(CControlSocket& session, ResolveResult result);
