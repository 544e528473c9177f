// Bounds of data connections, listings and transfers.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

inline constexpr std::int64_t kBytesPerKiB = 1024;
// The KiB a quota books for `bytes` (not negative): every started KiB counts, so the quota
// cannot be passed by many transfers just short of a whole KiB.
constexpr std::int64_t StartedKiB(std::int64_t bytes) {
    return (bytes + kBytesPerKiB - 1) / kBytesPerKiB;
}

// One listing chunk, one upload receive and one unlimited download read.
inline constexpr std::size_t kTransferChunk = 4096;
// How long a transfer command waits for its data connection.
inline constexpr std::chrono::milliseconds kDataConnectTimeout{10'000};
// Lowest port PORT and EPRT may name: below it lie the system's own services.
inline constexpr int kMinActivePort = 1024;
// How long PASV keeps looking for a free port of its range, and its pause between rounds.
inline constexpr std::chrono::milliseconds kPassiveBindTimeout{10'000};
inline constexpr std::chrono::milliseconds kPassiveBindRetryPause{10};
// Listen queue of a passive data socket.
inline constexpr int kPassiveBacklog = 5;
// A speed limit allows one chunk of its rate per slot of this length.
inline constexpr std::chrono::milliseconds kPaceSlot{1000};
// Largest single read of a limited download; a higher rate takes several per slot.
inline constexpr std::size_t kMaxPacedRead = 1 << 20;
// Without a limit or quota: bytes handed to the kernel per sendfile step, and the
// receive buffer of an upload.
inline constexpr std::size_t kFastSendStep = 4 << 20;
inline constexpr std::size_t kFastReceiveBuffer = 64 << 10;
// The room asked for the pipe of an unlimited upload (what one splice moves at most): the
// largest an unprivileged process may ask for by default.
inline constexpr std::size_t kUploadPipeBytes = 1 << 20;
// Bytes one data socket moves per loop turn before the control connection (ABOR,
// QUIT) and the idle timer get their turn.
inline constexpr std::int64_t kBytesPerTurn = 4 << 20;
// MODE Z: the file bytes deflated per step of a download, and the inflated bytes one
// step of an upload writes (a compressed chunk may take several).
inline constexpr std::size_t kDeflatePart = 64 << 10;
inline constexpr std::size_t kInflateStep = 64 << 10;
// A compressed upload stops where it would leave less than this share (1/n) of its file
// system free: a small stream may inflate a thousandfold, quota or not.
inline constexpr std::int64_t kInflateFreeShare = 20;
// One read of a checksum computation; the session's loop runs between two.
inline constexpr std::size_t kHashChunk = 256 << 10;
