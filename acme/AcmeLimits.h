// Every bound of the ACME client and its challenge listener in one place.
#pragma once

#include <chrono>
#include <cstddef>

// Each request to the CA: connecting, and the whole exchange.
inline constexpr std::chrono::seconds kAcmeConnectTimeout{10};
inline constexpr std::chrono::seconds kAcmeRequestTimeout{30};
// A CA's reply longer than this is refused (a certificate chain is a few KiB).
inline constexpr std::size_t kMaxAcmeReplyBytes = 256 * 1024;
// Waiting for an authorization or the order to become valid: the longest wait, and
// the wait between two looks (a Retry-After is honoured up to kMaxPollInterval).
inline constexpr std::chrono::seconds kMaxPollTime{120};
inline constexpr std::chrono::seconds kPollInterval{1};
inline constexpr std::chrono::seconds kMaxPollInterval{10};
// A request refused for its nonce is sent again this many times with a fresh one.
inline constexpr int kBadNonceRetries = 3;
// Names of one order.
inline constexpr std::size_t kMaxOrderNames = 100;
// The challenge listener: bytes and time of one request head.
inline constexpr std::size_t kMaxChallengeRequestBytes = 4096;
inline constexpr std::chrono::milliseconds kChallengeRequestTime{5000};
