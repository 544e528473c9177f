// The opening steps that the window and the headless server share: make sure the
// program directory and the account tables exist, upgrade tables of an earlier release
// (accounts/TableUpgrade.h), disable expired accounts, read
// option.ini and both IP lists into the controller, and open today's log file (created
// at every start, whether saving is on or off, so the day's file always exists).
#pragma once

#include <string>
#include <vector>

#include "config/LogFile.h"
#include "config/Options.h"

class CFtpServer;

class CServerStartup {
public:
    // `programDir` ends with "/".
    explicit CServerStartup(std::string programDir);

    // Runs the opening steps on `server` (main thread). False when the program
    // directory cannot be made, another local user may change it or one of its files
    // (app/ProgramDirSafety.h), or the deny list in force cannot be read: the server
    // must not start (the last warning says why). Every problem, stopping or not, is kept in
    // Warnings() (logins or saved lines then fail where they must).
    [[nodiscard]] bool Prepare(CFtpServer& server);
    // Hands every notice (a table upgraded) and warning to the server's log, once its
    // sink is in place; the reason of a refused start with the severity Error.
    void LogWarnings(CFtpServer& server) const;

    const std::string& ProgramDir() const { return m_programDir; }
    // The options as read by Prepare.
    const OptionValues& Options() const { return m_options; }
    // Today's log file, open when LogFileOpened(). Lives as long as this object.
    CLogFile& LogFile() { return m_logFile; }
    bool LogFileOpened() const { return m_logOpened; }
    // Problems met on the way, one text each (the log file's is
    // "Cannot create or open file: '<path>'").
    const std::vector<std::string>& Warnings() const { return m_warnings; }
    // What was done on the way that the log should show (one line per upgraded table).
    const std::vector<std::string>& Notices() const { return m_notices; }

private:
    bool RunOpeningSteps(CFtpServer& server);
    void PrepareAccounts();
    bool LoadIpLists(CFtpServer& server);
    void RemoveEarlierBackups();

    std::string m_programDir;
    OptionValues m_options;
    CLogFile m_logFile;
    bool m_logOpened = false;
    bool m_startRefused = false;
    std::vector<std::string> m_warnings;
    std::vector<std::string> m_notices;
    std::vector<std::string> m_earlierBackups;
};
