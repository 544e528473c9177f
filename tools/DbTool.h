// `db dump FILE`, `db check FILE` and `db upgrade FILE`: record table files.
#pragma once
#include <ostream>
#include <string>
#include <vector>

// Runs the db command given by `args` (without the leading "db"): "dump FILE" prints the
// header, fields, keys and every record in key-0 order; "check FILE" validates every
// invariant of the file and prints each problem, an account table that lacks fields of
// this release among them; "upgrade FILE" adds those fields (accounts/TableUpgrade.h) to
// a table that checks clean. Returns 0 when all is well, 1 on any problem, 2 on bad
// arguments (with a usage line on `err`). Only upgrade changes the file.
int RunDbCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
