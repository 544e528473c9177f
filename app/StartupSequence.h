// What the headless server does before it starts, as the window does when it opens:
// choose the program directory, read option.ini and both IP lists, open the day's
// log, and set the controller up for its start.
#pragma once

#include <memory>
#include <string>

#include "app/ProgramDirChoice.h"

class CFtpServer;
class CLogFile;
class CConsoleSink;


class CServerStartup {
public:
    explicit CServerStartup(std::string programDir);
    ~CServerStartup();

    // Applies the options and lists to `server` and gives it the console sink. False
    // (with a message on standard error) when the start cannot go on.
    [[nodiscard]] bool Prepare(CFtpServer& server);

private:
    void PrepareAccounts(CFtpServer& server);
    bool LoadIpLists(CFtpServer& server, int filterMode);
    void ReportProblem(CFtpServer& server, const std::string& text);
    void OpenLogFile();

    std::string m_programDir;
    std::unique_ptr<CLogFile> m_logFile;
    std::unique_ptr<CConsoleSink> m_sink;
};
