#include "app/StartupSequence.h"

#include <filesystem>

#include "accounts/AccountSchema.h"
#include "accounts/ExpiryCheck.h"
#include "config/IpFilter.h"
#include "server/FtpServer.h"
#include "server/StartSettings.h"

CServerStartup::CServerStartup(std::string programDir) : m_programDir(std::move(programDir)) {}

// First start: empty account tables, so the server and tarvona-admin find them. Then
// the accounts whose disable date has come are disabled. Neither failure stops the
// start: logins then simply fail.
void CServerStartup::PrepareAccounts() {
    std::string error;
    if (!EnsureAccountTables(m_programDir, error)) m_warnings.push_back(error);
    int disabled = 0;
    if (!DisableExpiredAccounts(m_programDir, TodayText(), disabled, error))
        m_warnings.push_back(error);
}

bool CServerStartup::Prepare(CFtpServer& server) {
    std::error_code error;
    std::filesystem::create_directories(m_programDir, error);
    if (!std::filesystem::is_directory(m_programDir)) return false;
    PrepareAccounts();
    m_options = COptions(m_programDir).Load();
    ApplyOpeningOptions(server, m_options);
    // Missing lists are empty lists.
    if (!server.Filter().Load(m_programDir)) m_warnings.push_back(server.Filter().GetLastError());
    m_logFile.SetBaseDirectory(m_programDir);
    // A file that cannot be opened now is tried again at the next date change.
    m_logOpened = m_logFile.ReopenForToday();
    if (!m_logOpened) m_warnings.push_back(m_logFile.GetLastError());
    return true;
}
