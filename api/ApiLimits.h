// Every bound of the administration API in one place.
#pragma once

#include <chrono>
#include <cstddef>

// A request's line and headers together; a longer head (a header flood) is cut.
inline constexpr std::size_t kApiMaxHeadBytes = 64 * 1024;
// A request body; a longer one is answered 413.
inline constexpr std::size_t kApiMaxBodyBytes = 1024 * 1024;
// A refused request's body up to this size is read before the refusal is sent, so the
// client sees the answer (closing on unread bytes resets the connection, and the answer
// is lost with it); a larger one, or a chunked one, ends the connection unread.
inline constexpr std::size_t kApiRefusalBodyReadBytes = 64 * 1024;
// What a chunked body's framing may add to it before the connection is cut.
inline constexpr std::size_t kApiBodyFramingBytes = 64 * 1024;
// The whole of one request (head and body) must arrive within this.
inline constexpr std::chrono::milliseconds kApiRequestDeadline{10'000};
// One write of an answer may wait this long for a client that does not read, and a whole
// answer (but a live stream) may take this long to leave: a client that reads a byte now
// and then does not hold a worker.
inline constexpr std::chrono::milliseconds kApiWriteWait{10'000};
inline constexpr std::chrono::milliseconds kApiAnswerWriteLimit{30'000};
// A kept-alive connection waits this long for its next request, and serves at most
// this many; it is closed sooner when other connections wait for a worker.
inline constexpr std::chrono::milliseconds kApiKeepAliveIdle{5'000};
inline constexpr std::size_t kApiKeepAliveRequests = 100;
// Connections served at once (one worker thread each, made at start), and accepted ones
// waiting for a worker; beyond that a connection is answered 503 and closed.
inline constexpr std::size_t kApiWorkers = 8;
inline constexpr std::size_t kApiWaitingConnections = 32;
// How long a request waits for the main thread to take an operation that must run there,
// and then for it to end.
inline constexpr std::chrono::milliseconds kApiMainThreadStartWait{5'000};
inline constexpr std::chrono::milliseconds kApiMainThreadRunWait{60'000};
// JSON bodies nest at most this deep.
inline constexpr int kApiMaxJsonDepth = 64;
// A live log stream ends after this long (the client reconnects).
inline constexpr std::chrono::seconds kApiLogStreamLimit{3600};
// How often the accepting thread looks whether to stop.
inline constexpr int kApiAcceptPollMs = 200;
