// Fuzz target: the bytes a client sends on the control connection, received by a real
// session of a real server over loopback TCP, from the listening socket's accept on:
// line splitting, the queue behind a data wait, parsing, dispatch and every command
// body. Any crash, hang or sanitizer report is a bug. The input's layout is in
// fuzz/ControlLineFixture.h; fuzz_controlline runs the same inputs faster over a socket
// pair, without the accept.
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
    UniqueFd client = ConnectLoopback(fixture->Port());
    if (!client) return SkipInput("loopback connect");
    fixture->Play(std::move(client), data, size);
    return 0;
}
