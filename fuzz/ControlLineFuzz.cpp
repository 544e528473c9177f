// Fuzz target: the bytes a client sends on the control connection, received by a real
// session of a real server: line splitting, the queue behind a data wait, parsing,
// dispatch and every command body. Any crash, hang or sanitizer report is a bug. The
// input's layout is in fuzz/ControlLineFixture.h.
//
// The session's connection is one end of a socket pair, handed to the server's admission
// as a client at 127.0.0.1: no TCP handshake, no ports used up. fuzz_controlline_tcp
// runs the same inputs through the listening socket.
#include <cstddef>
#include <cstdint>

#include "fuzz/ControlLineFixture.h"
#include "fuzz/HarnessSupport.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    LeaveLeakCheckingOff(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    ControlLineFixture* fixture = FixtureFor(data, size);
    if (fixture == nullptr) return kInputSkipped;
    UniqueFd client;
    UniqueFd serverEnd;
    if (!MakeSocketPair(client, serverEnd)) return SkipInput("socketpair");
    fixture->AcceptConnected(std::move(serverEnd));
    fixture->Play(std::move(client), data, size);
    return 0;
}
