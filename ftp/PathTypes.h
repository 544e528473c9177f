// What a command needs at a path, and what resolving a client's path gave.
#pragma once

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

// Busy: an account table stayed locked by another holder, so the path could not be
// judged; the command answers "451 Account data is busy, try again." and changes nothing.
enum class ResolveResult { Found = 0, FileNotFound = 2, DirNotFound = 3, Denied = 5, Busy = 6 };
