// A started server on a private program directory, and greeted loopback clients.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "tests/support/RawFtpClient.h"
#include "tests/support/ServerHarness.h"
#include "tests/support/TempDir.h"

inline constexpr const char* kLoginFirst = "530 Please login with USER and PASS.";
inline constexpr const char* kSyntaxError = "501 Syntax error in parameters or arguments.";
inline constexpr const char* kTooManyUsers =
    "421 Too many users are connected, please try again later.";

class ServerTest : public testing::Test {
protected:
    void SetUp() override;

    // A connected client whose greeting has been read and checked.
    std::unique_ptr<RawFtpClient> Greeted();
    // Waits until the server has handled every posted count and no session is left.
    bool WaitForNoSessions(std::chrono::milliseconds deadline = std::chrono::seconds(10));

    TempDir m_dir;
    ServerHarness m_harness{m_dir.ProgramDir()};
};
