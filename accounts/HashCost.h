// The most work a stored hash may ask of one login. A hash's cost parameters are in the
// stored text, so whoever can write the table could otherwise make every PASS for the
// account cost seconds of CPU (or gigabytes of memory) before any ban counts it.
#pragma once

#include <cstdint>
#include <string_view>

// SHA-512 crypt: libcrypt's default is 5 000 rounds; hashes made elsewhere with up to
// a million (some tools use 656 000) are still taken.
inline constexpr std::uint64_t kMaxSha512Rounds = 1'000'000;
// yescrypt: N * r * p * (t + 1) at most four times what HashPassword makes (N 4096,
// r 32, p 1, t 0: 16 MiB and some tens of milliseconds), i.e. at most 64 MiB.
inline constexpr std::uint64_t kMaxYescryptWork = 4ull * 4096 * 32;

// True when the cost parameters of `hash` (a "$y$" or "$6$" entry, IsPasswordHash) are
// within the caps above. False for parameters this check cannot read, and for yescrypt
// upgrades or ROM, which libcrypt's own hashes never use.
bool HashCostAllowed(std::string_view hash);
