// The roots of a client's tree: the home directory and every virtual folder's own
// directory. Other accounts may map the same directories, so a client may never move
// or remove them, nor hide a folder behind an entry of the home. Session thread only;
// each call reads the account tables afresh.
#pragma once

#include <string>

class CControlSocket;

// True when `localPath` is the session's home directory or the directory of one of
// its virtual folders (user's or groups'): by its text as mapped, or as the same
// directory reached another way. A symbolic link to a root is not a root itself.
bool IsTreeRoot(CControlSocket& session, const std::string& localPath);
// True when `localPath` lies directly in the home directory and carries the name of
// one of the session's virtual folders (letter case ignored): an entry there would
// hide that folder at "/".
bool ShadowsVirtualFolder(CControlSocket& session, const std::string& localPath);
