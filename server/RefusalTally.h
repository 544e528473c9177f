// Connections refused at accept, counted by reason and summed up in one log line, so that
// a flood of connections costs a line a second instead of a line a connection.
#pragma once

#include <array>
#include <string>

enum class AcceptRefusal {
    TooManyUsers,
    AddressFull,
    TooManyNotLoggedIn,
    NoSession,        // no thread, loop descriptor or memory for its session
    DescriptorLimit,  // taken and closed at once: the process had no descriptor left
};

class CRefusalTally {
public:
    // `error` (an errno value) says why for NoSession; the last one is reported.
    void Count(AcceptRefusal reason, int error = 0);
    // The summary of the refusals counted since the last call, which starts a new count:
    // "Refused 3 connections: 2 from addresses at their limit, 1 ...". Empty when none.
    std::string TakeSummary();

private:
    static constexpr std::size_t kReasons = 5;
    std::array<int, kReasons> m_counts{};
    int m_lastError = 0;
};
