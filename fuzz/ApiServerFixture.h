// A started server with its administration API for the API fuzz targets: made at the
// first input that can make it, kept for the whole run (the process may end while the
// server's thread sits in its loop), its files removed at exit.
#pragma once

#include <string>

class CApiHttpServer;

// The API of the run's server, or nullptr (after one "input skipped" line) while the
// scratch directory or the server cannot be had; a later call tries again. `prefix`
// names the scratch directory, which MakeScratchDir puts on /dev/shm where it can.
CApiHttpServer* SharedApiServer(const std::string& prefix);
