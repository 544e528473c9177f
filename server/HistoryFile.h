// stats.sdb, the transfer history in the program directory: one record per day (or
// month summed up) and user. Its fields are read by name, so a later release may add
// fields and still read this one's file, and this one reads a later file (the fields it
// does not know are left out when it writes the file again).
#pragma once

#include <string>
#include <vector>

#include "server/TransferHistory.h"

inline constexpr char kHistoryTableName[] = "stats.sdb";

// `programDir` + stats.sdb.
std::string HistoryTablePath(const std::string& programDir);

// Reads every row of the table at `path`. A missing file is an empty history (true). False,
// with the reason in `error`, when the file cannot be read, a record cannot be reached or
// holds a value no row can have (a damaged file); `busy` is then true when only another
// holder's lock was in the way.
[[nodiscard]] bool ReadHistoryFile(const std::string& path, std::vector<HistoryRow>& rows,
                                   bool& busy, std::string& error);

// Writes `rows` as the table at `path`: built beside it and moved into place whole, so a
// crash leaves the earlier file or the new one. False, with `error`, when it cannot.
[[nodiscard]] bool WriteHistoryFile(const std::string& path, const std::vector<HistoryRow>& rows,
                                    std::string& error);
