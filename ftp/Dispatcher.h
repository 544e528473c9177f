// The dispatcher: the entry from the session into the commands.
#pragma once

#include <string>

class CControlSocket;

// Runs one received line (without its CR LF) on the session's thread: shows it in the
// log and the window (a password masked), splits keyword and argument, applies the
// rules every command shares (missing argument, login) and runs the command's body.
// Sends at most the replies of that one command. A line whose keyword is empty gets
// no reply.
void ProcessCommand(CControlSocket& session, const std::string& line);
