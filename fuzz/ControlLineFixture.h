// What both control-connection targets share: a real server on a scratch program
// directory with one account, made once per process, and the client's side of an input.
//
// The first input byte chooses the set-up: bit 0 logs in first (so the fuzzer reaches
// the commands behind the login at once), bits 1-7 the size of the pieces the rest is
// sent in. The session ends when the client has sent everything and closed its side;
// one that is still busy after a quiet spell is ended by stopping the server.
//
// Active mode (PORT, EPRT) is left out: it would connect to arbitrary ports of this
// machine, where other programs listen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/UniqueFd.h"

class ServerHarness;

class ControlLineFixture {
public:
    // The process's fixture, made at the first call that succeeds; nullptr, with the
    // reason on stderr, while it cannot be made.
    static ControlLineFixture* Shared();
    // Only a fixture that could not be built is destroyed (see Shared).
    ~ControlLineFixture();

    // False, with the reason on stderr, when a server that was stopped to end a hung
    // session does not listen again.
    bool EnsureServing();
    std::uint16_t Port() const;
    // Hands `serverEnd` to the server's admission as a client at 127.0.0.1.
    void AcceptConnected(UniqueFd serverEnd);
    // Plays the input on `client`, which the server has taken, and waits until no
    // session is left.
    void Play(UniqueFd client, const std::uint8_t* data, std::size_t size);

private:
    ControlLineFixture() = default;
    bool Build(std::string& error);
    void WaitForNoSessions();
    void Restart();
    void CountRun();
    static void RemoveFiles();

    std::string m_root;
    std::string m_home;
    std::unique_ptr<ServerHarness> m_harness;
    bool m_serving = false;
    int m_runs = 0;
};

// Puts -detect_leaks=0 before the command line's flags (which may set it again): the
// server's threads free memory after an input has returned, so libFuzzer would take
// nearly every input for a leak, run it again and scan the heap (four fifths of the
// time), and then give up leak checking after a thousand of them anyway.
// For LLVMFuzzerInitialize.
void LeaveLeakCheckingOff(int* argc, char*** argv);

// True for an input that is not run (see active mode above). `size` is at least 1.
bool MentionsActiveMode(const std::uint8_t* data, std::size_t size);
// The serving fixture for a non-empty input, or nullptr when the input is to be skipped
// (it names active mode, or no server can be had now).
ControlLineFixture* FixtureFor(const std::uint8_t* data, std::size_t size);
