// Client paths to local paths and back through the session user's home directory and
// virtual folders, and the permissions the user holds there. Each call reads the
// account tables afresh; on the session's thread.
#pragma once

#include <string>

#include "ftp/PathTypes.h"

class CControlSocket;

// Maps a virtual path onto a local path. On failure `localPath` is untouched (".."
// anywhere) or the first level that does not exist.
bool MapToLocal(CControlSocket& session, const std::string& virtualPath, std::string& localPath);
// Resolves the client's file argument; the permission is that of the containing
// directory. `localPath` is the local file path.
PathResolution ResolveFilePath(CControlSocket& session, const std::string& argument,
                               PermissionKind kind, std::string& localPath);
// Resolves the client's directory argument. For DirCreate on a missing path the verdict
// is DirNotFound with `localPath` the first missing level.
PathResolution ResolveDirPath(CControlSocket& session, const std::string& argument,
                              PermissionKind kind, std::string& localPath);
// Whether the user holds `kind` at `localPath` (home directory first, then the user's
// and the groups' virtual folders).
bool CheckPermission(CControlSocket& session, const std::string& localPath, PermissionKind kind);
// The virtual path the client sees for `localPath`. Never fails.
std::string ToVirtualPath(CControlSocket& session, const std::string& localPath);
// True when `localPath` exists and is a directory (`wantDirectory`) or exists and is
// not one (!`wantDirectory`).
bool PathExists(const std::string& localPath, bool wantDirectory);
