// The nine-letter permission text the editors show for a folder: one position per
// permission in the order of kPermissionRows (read, write, delete, rename, append, list,
// create directory, remove directory, rename directory), each its letter when granted
// and "-" when not. "R----L---" is read and list; "RWDRALCRR" grants all.
#pragma once

#include <string>
#include <string_view>

#include "accounts/AccountStore.h"

inline constexpr std::string_view kDefaultPermissionText = "R----L---";  // a new folder

std::string PermissionsToText(const PermissionSet& permissions);
// A position grants when it holds its letter; any other character refuses, as the
// editors store it. Shorter texts grant nothing in the missing positions.
PermissionSet PermissionsFromText(std::string_view text);
// A text a person typed, in either case (what IsValidPermissionText accepts): "rw---l---"
// grants what "RW---L---" grants.
PermissionSet PermissionsFromTypedText(std::string_view text);
// True when `text` has exactly nine positions, each its letter (either case) or "-".
bool IsValidPermissionText(std::string_view text);
