// Running another program to its end, with its output captured and the wait bounded.
#pragma once

#include <chrono>
#include <string>
#include <vector>

struct ProgramResult {
    bool started = false;   // false: the program could not be run (not found, no process)
    bool timedOut = false;  // killed after the time-out
    int exitStatus = -1;    // its exit status; -1 when a signal ended it
    std::string output;     // standard output and standard error, interleaved
};

// Runs `argv[0]` (looked up in PATH when it has no "/") with `argv`, waits at most
// `timeout` for it to end (then kills it and every process it started that is still in
// its process group), and returns what it printed. The program reads /dev/null, holds no
// descriptor of this process but its output, and has this process's environment with
// the "NAME=value" entries of `environment` added (replacing those of the same name).
// Any thread.
ProgramResult RunProgram(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                         const std::vector<std::string>& environment = {});
