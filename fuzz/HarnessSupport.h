// What the fuzz targets share for their own set-up: a failure of the harness (no
// socket, no connection, no scratch directory) is never a finding, so it is retried
// within a bound and then costs one input, with one line on stderr, not the run.
#pragma once

#include <cstdint>
#include <string>

#include "platform/UniqueFd.h"

// The value LLVMFuzzerTestOneInput returns for an input it could not run: the input is
// not kept in the corpus and the fuzzer goes on.
inline constexpr int kInputSkipped = -1;

// Writes "fuzz harness: <what> failed (<errno text>); input skipped" to stderr and
// returns kInputSkipped. Call it right after the failing call, while errno is its.
int SkipInput(const char* what);
// The same with the reason given, for a failure that does not leave it in errno.
int SkipInput(const char* what, const std::string& reason);

// A fresh directory named <prefix>XXXXXX on a memory file system (/dev/shm) when there
// is one, else in the temporary directory; "" when neither will take one. Scratch files
// of a fuzz target are rewritten for every input: on a disk file system each truncation
// waits for the journal.
std::string MakeScratchDir(const std::string& prefix);

// A connected pair of local stream sockets, both ends close-on-exec; retried a few times
// over a short bound (a descriptor may come free). False, with errno set, after that.
bool MakeSocketPair(UniqueFd& first, UniqueFd& second);

// A TCP connection to 127.0.0.1:`port`, retried within about a second. Successive calls
// leave from successive source addresses of 127.0.0.0/8 (127.0.0.1 to 127.0.0.64): a
// connection the client closes first stays in TIME_WAIT for a minute, and at thousands
// of connections a second one source address runs out of ports. An invalid descriptor,
// with errno set, when every attempt failed.
UniqueFd ConnectLoopback(std::uint16_t port);
