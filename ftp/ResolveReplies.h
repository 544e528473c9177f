// Replies shared by the commands that name an existing file (DELE, SIZE, MDTM, MFMT).
#pragma once

#include "ftp/PathTypes.h"

class CControlSocket;

// Answers a file resolution that did not find a usable file: "550 No permission." when
// denied, "550 File unavailable." otherwise. True when it answered (the command ends).
bool ReplyUnlessFileFound(CControlSocket& session, ResolveResult result);
