// Every bound of the HTTP requests in one place.
#pragma once

#include <chrono>
#include <cstddef>

// A request that has not ended by then (connect included) fails.
inline constexpr std::chrono::seconds kWebGetTimeout{10};
// Bytes of a reply kept; the rest is not read. An address-echo page answers in a line.
inline constexpr std::size_t kMaxReplyBytes = 5120;
// Requests waiting behind the running one; further ones are skipped.
inline constexpr std::size_t kMaxQueuedRequests = 4;
// Longest URL handed to the HTTP client.
inline constexpr std::size_t kMaxUrlLength = 2048;
// While the public address is unknown, detection is tried again after this period.
inline constexpr std::chrono::milliseconds kDetectionRetryPeriod{30000};
