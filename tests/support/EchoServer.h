// The local address-echo and dynamic-DNS page (echo_server.py) in a child process on
// 127.0.0.1, with the lines it prints for every request it receives.
#pragma once

#include <chrono>
#include <string>

#include "tests/support/ChildProcess.h"

class EchoServer {
public:
    // Starts the page; a test failure when it does not come up.
    EchoServer();

    // "http://127.0.0.1:<port>" + `path`.
    std::string Url(const std::string& path) const;
    // Waits until the page has printed `text` (a request line or an update value).
    bool Saw(const std::string& text,
             std::chrono::milliseconds deadline = std::chrono::seconds(10));
    // What the page printed until now.
    const std::string& Output() { return m_child.Output(); }

private:
    ChildProcess m_child;
    int m_port = 0;
};
