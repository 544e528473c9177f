#include "tests/support/EchoServer.h"

#include <gtest/gtest.h>

EchoServer::EchoServer() {
    EXPECT_TRUE(m_child.Start({TARVONA_PYTHON3, TARVONA_ECHO_SERVER}));
    EXPECT_TRUE(m_child.WaitForOutput("\n", std::chrono::seconds(20))) << m_child.Output();
    const std::string& output = m_child.Output();
    if (output.rfind("PORT ", 0) == 0) m_port = std::stoi(output.substr(5));
    EXPECT_NE(m_port, 0) << output;
}

std::string EchoServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

bool EchoServer::Saw(const std::string& text, std::chrono::milliseconds deadline) {
    return m_child.WaitForOutput(text, deadline);
}
