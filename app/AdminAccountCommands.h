// tarvona-admin's account commands. Each takes the words after its own name, works on
// the tables in `programDir` (ending with "/") through the account store, and returns
// the exit status: 0 done, 1 refused, 2 bad arguments. Results go to `out`, one-line
// errors to `err`. Missing user.sdb and group.sdb are created empty first.
#pragma once

#include <ostream>
#include <string>
#include <vector>

int RunUserCommand(const std::string& programDir, const std::vector<std::string>& args,
                   std::ostream& out, std::ostream& err);
int RunGroupCommand(const std::string& programDir, const std::vector<std::string>& args,
                    std::ostream& out, std::ostream& err);
int RunFolderCommand(const std::string& programDir, const std::vector<std::string>& args,
                     std::ostream& out, std::ostream& err);
int RunExpireCommand(const std::string& programDir, const std::vector<std::string>& args,
                     std::ostream& out, std::ostream& err);

// Requests to a running tarvona-server over its control socket (app/AdminControlCommands.cpp):
// 0 done, 1 refused or no server, 2 bad arguments.
int RunSessionsCommand(const std::string& programDir, const std::vector<std::string>& args,
                       std::ostream& out, std::ostream& err);
int RunKickCommand(const std::string& programDir, const std::vector<std::string>& args,
                   std::ostream& out, std::ostream& err);
int RunBanCommand(const std::string& programDir, const std::vector<std::string>& args,
                  std::ostream& out, std::ostream& err);
int RunReloadCommand(const std::string& programDir, const std::vector<std::string>& args,
                     std::ostream& out, std::ostream& err);

// The transfer history (app/AdminStatsCommand.cpp): through the running server, else
// from stats.sdb.
int RunStatsCommand(const std::string& programDir, const std::vector<std::string>& args,
                    std::ostream& out, std::ostream& err);

// Sets [Admin] PasswordHash of the program directory's option.ini
// (app/AdminPasswordCommand.cpp).
int RunAdminPasswordCommand(const std::string& programDir, const std::vector<std::string>& args,
                            std::ostream& out, std::ostream& err);

// The IP lists of the program directory (app/AdminIpCommands.cpp); entries are checked
// with IsValidIpListEntry.
int RunIpCommand(const std::string& programDir, const std::vector<std::string>& args,
                 std::ostream& out, std::ostream& err);

// Creates user.sdb and group.sdb when missing; false (after reporting on `err`) when
// they cannot be made.
bool PrepareTables(const std::string& programDir, std::ostream& err);
