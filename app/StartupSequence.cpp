#include "app/StartupSequence.h"

#include "accounts/AccountSchema.h"
#include "accounts/ExpiryCheck.h"
#include "accounts/TableModes.h"
#include "accounts/TableUpgrade.h"
#include "app/ProgramDirSafety.h"
#include "config/FilterMode.h"
#include "config/IpFilter.h"
#include "generated/Version.h"
#include "platform/FileSystem.h"
#include "platform/StringFormat.h"
#include "platform/Text.h"
#include "server/FtpServer.h"
#include "server/StartSettings.h"

CServerStartup::CServerStartup(std::string programDir) : m_programDir(std::move(programDir)) {}

// First start: empty account tables, so the server and tarvona-admin find them. Tables
// left readable by others are narrowed. Then the accounts whose disable date has come
// are disabled. No failure stops the start: logins then simply fail, or are answered as
// busy while a table stays locked.
void CServerStartup::PrepareAccounts() {
    std::string error;
    if (!EnsureAccountTables(m_programDir, error)) m_warnings.push_back(error);
    for (const TableModeChange& change : NarrowTableModes(m_programDir)) {
        m_warnings.push_back(
            change.narrowed
                ? StringFormat("Table file %s was open to group or others (mode %04o); now 0600.",
                               change.path.c_str(), change.oldMode)
                : StringFormat("Table file %s is open to group or others (mode %04o) and cannot be "
                               "made 0600.",
                               change.path.c_str(), change.oldMode));
    }
    // Backups of an earlier start's upgrades go once this start has succeeded.
    m_earlierBackups = UpgradeBackups(m_programDir);
    UpgradeAccountTables(m_programDir, kTarvonaVersion, m_notices, m_warnings);
    int disabled = 0;
    const LookupStatus expiry = DisableExpiredAccounts(m_programDir, TodayText(), disabled);
    if (expiry.ok()) return;
    m_warnings.push_back(expiry.IsBusy() ? "Account tables are busy (" + expiry.message() +
                                               "); starting without the expiry check."
                                         : expiry.message());
}

// A missing list is an empty list. A list that is there but cannot be read is reported
// and taken as empty, except the deny list while it is in force: taken as empty it would
// admit every client it is meant to refuse, so the server does not start until the file
// is readable (or the filter mode is changed).
bool CServerStartup::LoadIpLists(CFtpServer& server) {
    bool canStart = true;
    for (const CIpFilter::List list : {CIpFilter::List::Allow, CIpFilter::List::Deny}) {
        if (server.Filter().LoadList(m_programDir, list)) continue;
        const std::string& why = server.Filter().GetLastError();
        if (list == CIpFilter::List::Deny &&
            static_cast<FilterMode>(m_options.filterMode) == FilterMode::RefuseDenied) {
            m_warnings.push_back(
                "The deny list cannot be read (" + why +
                "); the server does not start, as it would admit the clients it lists.");
            canStart = false;
        } else {
            m_warnings.push_back(std::string("The IP list ") + CIpFilter::FileName(list) +
                                 " cannot be read (" + why + "); it is taken as empty.");
        }
    }
    return canStart;
}

bool CServerStartup::Prepare(CFtpServer& server) {
    m_startRefused = !RunOpeningSteps(server);
    return !m_startRefused;
}

bool CServerStartup::RunOpeningSteps(CFtpServer& server) {
    if (!MakeDirectories(m_programDir)) {
        m_warnings.push_back("program directory " + m_programDir + " cannot be created");
        return false;
    }
    // Before anything in the directory is read or changed.
    const std::vector<std::string> exposed = ExposedProgramFiles(m_programDir);
    if (!exposed.empty()) {
        m_warnings.insert(m_warnings.end(), exposed.begin(), exposed.end());
        return false;
    }
    PrepareAccounts();
    m_options = COptions(m_programDir).Load();
    if (!IsUsablePassiveIp(m_options.passiveIp))
        m_warnings.push_back("The option PassiveIP \"" +
                             ReplaceControlCharacters(m_options.passiveIp) +
                             "\" is not an IPv4 address, Auto or empty; it is ignored, and PASV "
                             "answers with the address each client connected to.");
    ApplyOpeningOptions(server, m_options);
    const bool listsUsable = LoadIpLists(server);
    m_logFile.SetBaseDirectory(m_programDir);
    // A file that cannot be opened now is tried again at the next date change.
    m_logOpened = m_logFile.ReopenForToday();
    if (!m_logOpened) m_warnings.push_back(m_logFile.GetLastError());
    if (listsUsable) RemoveEarlierBackups();
    return listsUsable;
}

void CServerStartup::RemoveEarlierBackups() {
    for (const std::string& backup : m_earlierBackups) {
        std::string why;
        if (!RemoveFileIfPresent(backup, &why))
            m_warnings.push_back("The table backup " + backup + " cannot be removed: " + why);
    }
}

void CServerStartup::LogWarnings(CFtpServer& server) const {
    for (const std::string& notice : m_notices) server.LogMessage(LogCategory::Server, notice);
    for (std::size_t i = 0; i < m_warnings.size(); ++i) {
        // The last one says why the start was refused: the journal shows it as an error.
        const bool reason = m_startRefused && i + 1 == m_warnings.size();
        server.LogMessage(LogCategory::Error, m_warnings[i],
                          reason ? LogSeverity::Error : LogSeverity::Info);
    }
}
