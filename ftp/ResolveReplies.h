// Replies shared by the commands that name an existing file (DELE, SIZE, MDTM, MFMT)
// and by those that create a name, and the answer every command gives when the account
// tables stay locked.
#pragma once

#include <string>

#include "ftp/PathTypes.h"

class CControlSocket;

// Logs that the session's account tables stayed locked past the bounded wait.
void LogAccountBusy(CControlSocket& session);
// Logs it and answers "451 Account data is busy, try again."; the session goes on.
void ReplyAccountBusy(CControlSocket& session);
// ReplyAccountBusy when `status` is busy. True when it answered (the command ends).
bool ReplyIfAccountBusy(CControlSocket& session, const LookupStatus& status);

// Answers a file resolution that did not find a usable file: "550 No permission." when
// denied, the busy reply when busy, "550 File unavailable." otherwise. True when it
// answered (the command ends).
bool ReplyUnlessFileFound(CControlSocket& session, const PathResolution& resolved);
// SECURITY: a name with a CR, LF or NUL would forge reply and listing lines wherever it
// is shown. Answers "553 Requested action not taken. File name not allowed." for such
// an argument of a command that creates a name (MKD, STOR, APPE, RNTO). True when it
// answered (the command ends).
bool RefuseUnsafeName(CControlSocket& session, const std::string& argument);
