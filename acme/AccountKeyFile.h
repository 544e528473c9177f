// The ACME account key on disk: made once (0600), read at every order after. The CA
// knows the account by this key alone, so a file that is there but unreadable is an
// error, never replaced by a new key.
#pragma once

#include <memory>
#include <string>

class CEcKey;

std::unique_ptr<CEcKey> LoadOrCreateAccountKey(const std::string& path, std::string& error);
