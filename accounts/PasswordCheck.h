// The login's password rule, kept apart from the socket code so every place that
// compares a password applies the same one.
#pragma once

#include <string>
#include <string_view>

// The clear text of a comma-scrambled password: the argument is a list of decimal
// numbers, each after a comma, one per character; character i is the number minus the
// code of the scrambling key's character i mod 7, kept to 8 bits. A character that comes
// out as 0 ends the text. Any length.
std::string UnscramblePassword(std::string_view argument);
// The password a PASS argument carries: unscrambled when it starts with a comma, else
// the argument itself.
std::string ClearPassword(std::string_view argument);
// The scrambled form of `password` (inverse of UnscramblePassword), for clients and tests.
std::string ScramblePassword(std::string_view password);

// How a PASS argument fared against a stored password.
struct PasswordVerdict {
    bool accepted = false;
    bool hashed = false;    // a hash was computed: the check took a hash's time
    bool overCost = false;  // the stored hash asks for more work than the caps allow
                            // (accounts/HashCost.h): refused without computing it
};

// Whether `argument` (as the client sent it, possibly scrambled) logs `userName` in
// against `storedPassword`. An account named "anonymous" (any letter case) with an empty
// stored password takes any argument; a hashed entry (accounts/PasswordHash.h) takes the
// clear text that hashes to it, unless its cost is over the caps; otherwise the texts
// must be equal byte for byte.
PasswordVerdict CheckPassword(std::string_view userName, std::string_view storedPassword,
                              std::string_view argument);
inline bool PasswordAccepted(std::string_view userName, std::string_view storedPassword,
                             std::string_view argument) {
    return CheckPassword(userName, storedPassword, argument).accepted;
}
