// Widths of the account tables this system creates, used both when creating a table
// and when checking what an editor may store. A table made elsewhere may use other
// widths: the code reads every field by name and checks texts against the widths the
// open table declares.
#pragma once

#include <cstddef>

// user.sdb
inline constexpr int kUserNameWidth = 64;      // "userid"; also its key length
inline constexpr int kPasswordWidth = 128;     // "password"
inline constexpr int kEmailWidth = 128;        // "email"
inline constexpr int kGroupListWidth = 256;    // "group": room for ~40 ids
inline constexpr int kHomeDirWidth = 512;      // "homedir": a full local path
inline constexpr int kReservedWidth = 32;      // "reserved": "1,YYYY-MM-DD" needs 12

// group.sdb
inline constexpr int kGroupNameWidth = 64;     // "name"; also its key length
inline constexpr int kGroupNotesWidth = 128;   // "notes"
inline constexpr std::size_t kMaxGroupNotes = 127;  // the editors cut notes here

// vfolder_user%d.sdb / vfolder_group%d.sdb (fixed by the folder-table layout)
inline constexpr int kFolderNameWidth = 64;
inline constexpr int kFolderDirWidth = 512;
inline constexpr int kFolderReservedWidth = 32;

// The comma-scrambled password: one number per character.
inline constexpr char kScrambleKey[] = "quilbex";
inline constexpr std::size_t kScrambleKeyLength = sizeof kScrambleKey - 1;
