// Salted slow password hashes for the "password" field: yescrypt from libcrypt, stored
// with its "$y$" prefix (about 73 characters, within the field's 128). The field keeps
// its type and width, so a table may hold hashed and clear-text entries side by side.
#pragma once

#include <string>
#include <string_view>

// A new yescrypt hash of `clearText` with a fresh random salt. Empty when libcrypt
// cannot make one (no random source). Costs some milliseconds by design.
std::string HashPassword(std::string_view clearText);

// What the "password" field stores for `clearText`: with `hashPasswords` (the option
// HashPasswords=1) a new hash, else the text itself; an empty password stays empty, as
// it is what opens "anonymous". False when the hash cannot be made.
[[nodiscard]] bool PasswordToStore(std::string_view clearText, bool hashPasswords,
                                   std::string& stored);

// True when `stored` is a hash this system checks as one: a "$y$" (yescrypt) or "$6$"
// (SHA-512 crypt) entry whose settings libcrypt accepts.
// NOTE: a clear-text password that is itself such a string is taken as a hash.
bool IsPasswordHash(std::string_view stored);

// True when `clearText` hashes to `hash` (IsPasswordHash(hash) must hold). The result is
// compared in constant time.
bool HashMatches(std::string_view clearText, std::string_view hash);

// Does the work of one check against a hash of HashPassword's cost and forgets the
// result: a refusal that needs no hash (unknown or disabled account) takes as long as
// one that does, so its time does not tell which accounts exist.
void SpendHashTime(std::string_view clearText);

// Equality of two secrets whose time depends only on their lengths, not on where they
// first differ.
bool ConstantTimeEquals(std::string_view a, std::string_view b);
