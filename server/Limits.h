// Bounds of the control channel.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

// One receive takes at most this many bytes.
inline constexpr std::size_t kReceiveChunk = 512;
// An unfinished command line may not grow past this; a longer one ends the session.
inline constexpr std::size_t kMaxReceiveBuffer = 4096;
// While a transfer command waits for its data connection, the control connection is
// read only while fewer lines than this wait behind it and the queued lines and the
// unfinished one leave room for one more receive within kMaxReceiveBuffer bytes.
inline constexpr std::size_t kMaxQueuedCommands = 64;
// How much of an overlong chunk the log shows.
inline constexpr std::size_t kOverflowLogBytes = 128;
// Period of a session's idle check.
inline constexpr std::chrono::milliseconds kIdleTick{1000};
// How long Stop waits for a session thread before it says so in the log (and waits on).
inline constexpr std::chrono::milliseconds kStopWaitPerThread{5000};
// How long one reply may wait for a client that does not read.
inline constexpr int kReplySendTimeoutMs = 30'000;
// How long a client may take for the TLS handshake after AUTH TLS.
inline constexpr std::chrono::milliseconds kTlsHandshakeTimeout{10'000};
// Client addresses the failed-login bookkeeping keeps at most; beyond this, addresses with
// no ban in force are forgotten first.
inline constexpr std::size_t kMaxTrackedAddresses = 100'000;
// A repeat offender's ban doubles at most this many times (1 h grows to 32 h).
inline constexpr int kMaxBanDoublings = 5;
// How long an address's earlier bans count towards a longer one.
inline constexpr std::int64_t kOffenceMemorySeconds = 24 * 3600;
// How much of a session's last command line the administrator's session list shows.
inline constexpr std::size_t kShownCommandBytes = 200;
// Connections of banned addresses waiting for their refusal at most; how often the
// waiting ones are looked at.
inline constexpr std::size_t kMaxHeldRefusals = 1000;
inline constexpr std::chrono::milliseconds kRefusalTick{50};
// The "Refused banned" log line is written at most once per address in this time.
inline constexpr std::int64_t kRefusalLogSeconds = 60;
// How long the listener rests when the process is out of descriptors and has no reserve.
inline constexpr std::chrono::milliseconds kAcceptPauseAtLimit{100};
// The connections of banned addresses held for their delayed refusal take at most this
// share of the process's descriptors (1/4), so that they cannot starve the sessions.
inline constexpr std::size_t kHeldRefusalShareDivisor = 4;
// Connections refused at accept are summed up in the log at most this often.
inline constexpr std::chrono::milliseconds kRefusalLogPeriod{1000};
// What a session holds for its whole life: its control connection and its loop's wake-up.
inline constexpr std::size_t kDescriptorsPerSession = 2;
// What a transfer adds: the passive listener, the data connection, the file and an
// upload's splice pipe (two ends).
inline constexpr std::size_t kDescriptorsPerTransfer = 5;
// The session cap leaves descriptors for one transfer per this many sessions.
inline constexpr std::size_t kSessionsPerTransferBudget = 64;
// Threads the process starts beside its sessions (API, hooks, workers), and room for
// the other processes of its control group.
inline constexpr std::size_t kThreadsBesideSessions = 64;
// A session thread's stack is two memory maps (the stack and its guard page); the
// process's libraries, heap arenas and other threads take the rest.
inline constexpr std::size_t kMapsPerSession = 2;
inline constexpr std::size_t kMapsBesideSessions = 1024;
// What the process holds beside its sessions and held refusals: standard streams,
// listeners and their reserves, the log file, the administration API's sockets.
inline constexpr std::size_t kDescriptorsBesideSessions = 64;
// How often a running server looks at its certificate's end of validity again (and warns
// while it is near).
inline constexpr std::chrono::milliseconds kCertificateCheckPeriod{24LL * 3600 * 1000};
