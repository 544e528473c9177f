// The version of an account, a group or a folder list: a hash of the values its fields
// hold, so every editor (the window, tarvona-admin, the administration API) derives the
// same version from the same stored record without a counter kept anywhere. An editor
// that read version V and saves with V required is refused when the record changed
// meanwhile (CAccountEditor::RequireVersion), so concurrent edits never lose an update.
#pragma once

#include <string>
#include <vector>

#include "accounts/AccountStore.h"

// 16 lower-case hex digits (FNV-1a, 64 bits). A user's "quota_current" is left out: the
// server books transfers into it, and every editor keeps what the server booked.
std::string AccountVersion(const UserRecord& user);
std::string AccountVersion(const GroupRecord& group);
// The rows in list order by name, directory and permissions; the row ids are left out,
// as every save numbers the rows anew.
std::string AccountVersion(const std::vector<VirtualFolder>& folders);
