// `db dump FILE` and `db check FILE`: inspection of record table files.
#pragma once
#include <ostream>
#include <string>
#include <vector>

// Runs the db command given by `args` (without the leading "db"): "dump FILE" prints the
// header, fields, keys and every record in key-0 order; "check FILE" validates every
// invariant of the file and prints each problem. Returns 0 when all is well, 1 on any
// problem, 2 on bad arguments (with a usage line on `err`). Opens the file for reading
// only (shared lock); the file is never changed.
int RunDbCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
