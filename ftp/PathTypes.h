// What a command needs at a path, and what resolving a client's path gave.
#pragma once

#include "accounts/LookupStatus.h"

// The permission a command needs (value 6 is not used).
enum class PermissionKind {
    Read = 1,       // RETR, SIZE
    Write = 2,      // STOR
    Rename = 3,     // RNFR and RNTO of a file
    Delete = 4,     // DELE
    Append = 5,     // APPE
    DirList = 7,    // CWD, XCWD, CDUP, LIST, NLST
    DirCreate = 8,  // MKD, XMKD
    DirRemove = 9,  // RMD, XRMD
    DirRename = 10  // RNFR and RNTO of a directory
};

// What the path and its permission came to.
enum class PathVerdict { Found = 0, FileNotFound = 2, DirNotFound = 3, Denied = 5 };

// What resolving a client's path gave. A busy account (a table stayed locked by another
// holder) judges nothing: the verdict is then Denied, and the command answers
// "451 Account data is busy, try again." and changes nothing.
struct PathResolution {
    LookupStatus account;  // of the tables read; only IsBusy() matters here
    PathVerdict verdict = PathVerdict::Denied;

    bool IsFound() const { return verdict == PathVerdict::Found; }
};
