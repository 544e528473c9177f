// Runs a program with its standard output captured, for end-to-end tests of binaries.
#pragma once

#include <chrono>
#include <string>
#include <vector>

class ChildProcess {
public:
    ChildProcess() = default;
    // Kills and reaps a child that is still running.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `argv[0]` with `argv`; standard output is captured. False on failure.
    bool Start(const std::vector<std::string>& argv);
    // The same with exactly `environment` ("NAME=value" each) instead of the test's own.
    bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& environment);
    // Waits until the captured output contains `text`; false on time-out or exit.
    bool WaitForOutput(const std::string& text, std::chrono::milliseconds deadline);
    // Sends SIGTERM.
    bool Terminate();
    // Reads the output to its end and reaps the child; `status` is its exit status, or
    // -1 when a signal ended it. False on time-out.
    bool WaitForExit(std::chrono::milliseconds deadline, int& status);
    const std::string& Output() const { return m_output; }

private:
    bool StartWith(const std::vector<std::string>& argv, char* const* environment);
    // Reads what is there within `deadline`: >0 bytes added, 0 end of output, -1 time-out.
    int Read(std::chrono::steady_clock::time_point deadline);

    int m_pid = -1;
    int m_outputFd = -1;
    std::string m_output;
};

// A program run to its end: its exit status (-1 when it could not start, did not end
// within 30 s or a signal ended it) and its standard output (empty unless it ended).
struct ProgramRun {
    int status = -1;
    std::string output;
};
ProgramRun RunToEnd(const std::vector<std::string>& argv);
// The same with exactly `environment` ("NAME=value" each) instead of the test's own.
ProgramRun RunToEnd(const std::vector<std::string>& argv,
                    const std::vector<std::string>& environment);
