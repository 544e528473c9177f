// The text of directory listings: Unix long-listing lines for LIST, bare names for NLST,
// facts for MLSD and MLST.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/DirEntries.h"

// Listings older than this many whole days show the year instead of the time.
inline constexpr std::int64_t kListRecentDays = 356;

// The date column with its blanks, from the local time of `lastWriteTime`:
// " Mar 07 2004 " when older than 356 days at `now`, else " Jan 05 13:07 " (also for
// a time in the future). Month names are English whatever the locale.
std::string FormatListDate(std::int64_t lastWriteTime, std::int64_t now);
// The same, at the current time.
std::string FormatListDate(const DirEntry& entry);

// One LIST line ending in CR LF; a directory shows size 0.
std::string FormatListLine(const DirEntry& entry, std::int64_t now);
// One LIST line for a virtual folder `name` whose directory is `dir`.
std::string FormatFolderLine(const std::string& name, const DirEntry& dir, std::int64_t now);

// The facts a machine listing can show, as bits of a session's selection (OPTS MLST).
enum MlstFact : std::uint32_t {
    kFactType = 1u << 0,
    kFactSize = 1u << 1,
    kFactModify = 1u << 2,
    kFactPerm = 1u << 3,
    kFactUnixMode = 1u << 4,
};
inline constexpr std::uint32_t kAllMlstFacts =
    kFactType | kFactSize | kFactModify | kFactPerm | kFactUnixMode;

// The selection named by an OPTS MLST fact list ("type;size;"): names compare without
// regard to letter case, unknown names are ignored, an empty list selects none.
std::uint32_t ParseMlstFacts(std::string_view list);
// The selected facts in their own spelling, each followed by ";" ("type;size;").
std::string MlstFactNames(std::uint32_t facts);
// Every fact for FEAT, the selected ones marked: "type*;size;modify*;perm;UNIX.mode;".
std::string MlstFeatureFacts(std::uint32_t facts);

// Machine listing (MLSD, MLST) facts of `entry` in RFC 3659 form, ending in the blank
// that precedes the name: "type=file;size=12;modify=20260105130700;perm=rw;UNIX.mode=0644; ".
// `type` is file, dir, cdir or pdir; size is given for files only; modify is in UTC.
// Only the facts in `facts` are written (just the blank when none).
std::string FormatFacts(const char* type, const DirEntry& entry, const std::string& perm,
                        std::uint32_t facts = kAllMlstFacts);
