#include "app/StartupSequence.h"

#include <cstdio>
#include <filesystem>

#include "accounts/AccountSchema.h"
#include "accounts/ExpiryCheck.h"
#include "accounts/TableModes.h"
#include "app/ConsoleSink.h"
#include "config/IpFilter.h"
#include "config/LogFile.h"
#include "config/Options.h"
#include "platform/ProgramDir.h"
#include "platform/StringFormat.h"
#include "server/FtpServer.h"

CServerStartup::CServerStartup(std::string programDir) : m_programDir(std::move(programDir)) {}

CServerStartup::~CServerStartup() = default;

// First start: empty account tables, so the server and tarvona-admin find them. Tables
// left readable by others are narrowed. Then the accounts whose disable date has come
// are disabled, as the window does when it opens. No failure stops the start: logins
// then simply fail, or are answered as busy while a table stays locked.
void CServerStartup::PrepareAccounts(CFtpServer& server) {
    std::string error;
    if (!EnsureAccountTables(m_programDir, error)) std::fprintf(stderr, "%s\n", error.c_str());
    for (const TableModeChange& change : NarrowTableModes(m_programDir)) {
        const std::string text =
            change.narrowed
                ? StringFormat("Table file %s was open to group or others (mode %04o); now 0600.", change.path.c_str(),
                               change.oldMode)
                : StringFormat("Table file %s is open to group or others (mode %04o) and cannot be made 0600.",
                               change.path.c_str(), change.oldMode);
        server.LogMessage(LogCategory::Server, text);
    }
    int disabled = 0;
    bool busy = false;
    if (DisableExpiredAccounts(m_programDir, TodayText(), disabled, error, &busy)) return;
    if (busy)
        server.LogMessage(LogCategory::Error, "Account tables are busy (" + error + "); starting without the expiry check.");
    else
        std::fprintf(stderr, "%s\n", error.c_str());
}

// Today's file is made at every start, as the window does; lines reach it only while
// saving is on.
void CServerStartup::OpenLogFile() {
    m_logFile = std::make_unique<CLogFile>();
    m_logFile->SetBaseDirectory(m_programDir);
    // A file that cannot be opened now is tried again at the next date change.
    if (!m_logFile->ReopenForToday()) std::fprintf(stderr, "%s\n", m_logFile->GetLastError().c_str());
}

bool CServerStartup::Prepare(CFtpServer& server) {
    std::error_code error;
    std::filesystem::create_directories(m_programDir, error);
    if (!std::filesystem::is_directory(m_programDir)) {
        std::fprintf(stderr, "program directory %s cannot be created\n", m_programDir.c_str());
        return false;
    }
    const OptionValues options = COptions(m_programDir).Load();
    OpenLogFile();
    m_sink = std::make_unique<CConsoleSink>(options.saveLog == 1 ? m_logFile.get() : nullptr);
    server.SetWindowSink(m_sink.get());
    PrepareAccounts(server);
    server.SetMaxUsers(options.maxUsers);
    server.SetTimeout(options.timeoutMinutes);
    server.SetPort(options.port);
    server.SetPassiveRange(static_cast<std::uint32_t>(options.minPort),
                           static_cast<std::uint32_t>(options.maxPort));
    if (!IsAutoPassiveIp(options.passiveIp)) server.SetPassiveAddress(options.passiveIp);
    server.SetFilterMode(static_cast<FilterMode>(options.filterMode));
    (void)server.Filter().Load(m_programDir);  // missing lists are empty lists
    server.SetWelcomeMessage("Welcome to Tarvona FTP Server!");
    server.SetGoodbyeMessage("Good bye!");
    server.SetStatisticsInterval(5000);
    return true;
}
