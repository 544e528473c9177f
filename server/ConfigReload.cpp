#include "server/ConfigReload.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <iterator>

#include "config/FilterMode.h"
#include "config/IpFilter.h"
#include "platform/ServiceManager.h"
#include "platform/StringFormat.h"
#include "platform/Text.h"
#include "server/FtpServer.h"
#include "server/HookSettings.h"
#include "server/StartSettings.h"

namespace {

using V = OptionValues;

bool Differs(const OptionValues& a, const OptionValues& b, const OptionMember& member) {
    return !SameOptionValue(a, b, member);
}

bool AnyDiffers(const OptionValues& a, const OptionValues& b,
                std::initializer_list<OptionMember> members) {
    return std::any_of(members.begin(), members.end(),
                       [&](const OptionMember& member) { return Differs(a, b, member); });
}

// The key's written name, with its section in front where an earlier section has a key
// of that name ([Admin] CertificateFile beside [TLS]'s), as the API names it.
std::string NameOf(const OptionRow& row) {
    for (const OptionRow& other : OptionRows()) {
        if (&other == &row) break;
        if (other.writeName == row.writeName)
            return std::string(row.section) + "." + std::string(row.writeName);
    }
    return std::string(row.writeName);
}

// The window's own keys, the log file switch and the administration listener are set up
// once when the program starts.
bool TakenAtStartOnly(const OptionRow& row) {
    static const OptionMember kAtStart[] = {&V::startup,    &V::autoActive, &V::minimize,
                                            &V::saveLog,    &V::defaultDir, &V::defaultUser,
                                            &V::defaultPass};
    return row.section == "Admin" ||
           std::find(std::begin(kAtStart), std::end(kAtStart), row.member) != std::end(kAtStart);
}

std::size_t EntryCount(const std::string& listText) {
    return CIpFilter::SplitEntries(listText).size();
}

}  // namespace

std::vector<const OptionRow*> ChangedOptionRows(const OptionValues& before,
                                                const OptionValues& after) {
    std::vector<const OptionRow*> rows;
    for (const OptionRow& row : OptionRows())
        if (Differs(before, after, row.member)) rows.push_back(&row);
    return rows;
}

std::string DescribeOptionChange(const OptionRow& row, const OptionValues& before,
                                 const OptionValues& after) {
    if (IsSecretOption(row.member)) return "Option " + NameOf(row) + " changed.";
    return "Option " + NameOf(row) + " changed from " + OptionValueShown(before, row.member) +
           " to " + OptionValueShown(after, row.member) + ".";
}

ReloadOutcome CConfigReloader::Reload(const std::string& cause) {
    service_manager::NotifyReloading();
    ReloadOutcome outcome = ReadAndApply(cause);
    service_manager::NotifyReady();
    return outcome;
}

ReloadOutcome CConfigReloader::ReadAndApply(const std::string& cause) {
    ReloadOutcome outcome;
    m_server.LogMessage(LogCategory::Server,
                        "Reading option.ini and the IP lists again " + cause + ".");
    OptionValues next;
    std::string allow, deny, error;
    if (!ReadFiles(next, allow, deny, error)) {
        outcome.problems.push_back("Nothing changed: " + error + ".");
        Report(outcome);
        return outcome;
    }
    outcome.taken = true;
    ApplyPort(next, outcome);
    ApplyImplicitPort(next, outcome);
    ApplyServerKeys(next, outcome);
    ApplyLists(next, allow, deny, outcome);
    m_running = next;
    Report(outcome);
    return outcome;
}

bool CConfigReloader::ReadFiles(OptionValues& options, std::string& allow, std::string& deny,
                                std::string& error) const {
    if (m_exposureCheck) {
        const std::vector<std::string> exposed = m_exposureCheck();
        if (!exposed.empty()) {
            error = exposed.front();
            return false;
        }
    }
    const std::string& dir = m_server.ProgramDir();
    return COptions(dir).LoadChecked(options, error) &&
           CIpFilter::ReadListChecked(dir, CIpFilter::List::Allow, allow, error) &&
           CIpFilter::ReadListChecked(dir, CIpFilter::List::Deny, deny, error);
}

void CConfigReloader::NoteApplied(const OptionValues& values,
                                  std::span<const OptionMember> members) {
    for (const OptionMember& member : members) {
        if (const auto* number = std::get_if<IntOption>(&member))
            m_running.*(*number) = values.*(*number);
        else
            m_running.*std::get<TextOption>(member) = values.*std::get<TextOption>(member);
    }
}

// A port that cannot be bound keeps the old one, and the next reload tries again.
void CConfigReloader::ApplyPort(OptionValues& next, ReloadOutcome& outcome) {
    if (next.port == m_running.port) return;
    const std::string change =
        StringFormat("Option Port changed from %d to %d", m_running.port, next.port);
    if (m_portFromCommandLine) {
        outcome.changes.push_back(change + "; the port given on the command line stays.");
        return;
    }
    std::string why = "it is no port from 1 to 65535";
    const bool inRange = next.port >= 1 && next.port <= 65535;
    if (inRange && m_server.MoveToPort(next.port, why)) {
        outcome.changes.push_back(change + (m_server.IsRunning() ? ": listening on it now."
                                                                 : ": used at the next start."));
        return;
    }
    outcome.problems.push_back(change + StringFormat(", but port %d cannot be used (%s): still "
                                                     "listening on port %d.",
                                                     next.port, why.c_str(), m_running.port));
    next.port = m_running.port;
}

// As the main port: bound before the old one closes; one that cannot be used keeps the
// old one (or none), and the next reload tries again.
void CConfigReloader::ApplyImplicitPort(OptionValues& next, ReloadOutcome& outcome) {
    const int was = m_running.tlsImplicitPort;
    if (next.tlsImplicitPort == was) return;
    const std::string change =
        StringFormat("Option ImplicitPort changed from %d to %d", was, next.tlsImplicitPort);
    std::string why;
    if (m_server.MoveImplicitTlsPort(next.tlsImplicitPort, why)) {
        const char* now = next.tlsImplicitPort == 0 ? ": implicit FTPS port closed."
                                                    : ": implicit FTPS served on it now.";
        outcome.changes.push_back(change +
                                  (m_server.IsRunning() ? now : ": used at the next start."));
        return;
    }
    outcome.problems.push_back(
        change +
        StringFormat(", but port %d cannot be used (%s): ", next.tlsImplicitPort, why.c_str()) +
        (was == 0 ? std::string("no implicit FTPS port is open.")
                  : StringFormat("still serving implicit FTPS on port %d.", was)));
    next.tlsImplicitPort = was;
}

// A fault that was there at start has been logged then.
void CConfigReloader::KeepUnusableValues(OptionValues& next, ReloadOutcome& outcome) const {
    if (next.maxUsers < 1 && next.maxUsers != m_running.maxUsers) {
        outcome.problems.push_back(
            StringFormat("Option maxusers is %d, not a number from 1 up; it stays %d.",
                         next.maxUsers, m_running.maxUsers));
        next.maxUsers = m_running.maxUsers;
    }
    if (!IsUsablePassiveIp(next.passiveIp) && next.passiveIp != m_running.passiveIp) {
        outcome.problems.push_back("Option PassiveIP \"" +
                                   ReplaceControlCharacters(next.passiveIp) +
                                   "\" is not an IPv4 address, Auto or empty; it stays \"" +
                                   ReplaceControlCharacters(m_running.passiveIp) + "\".");
        next.passiveIp = m_running.passiveIp;
    }
}

void CConfigReloader::ApplyServerKeys(OptionValues& next, ReloadOutcome& outcome) {
    KeepUnusableValues(next, outcome);
    for (const OptionRow* row : ChangedOptionRows(m_running, next)) {
        if (row->member == OptionMember{&V::port} ||
            row->member == OptionMember{&V::tlsImplicitPort})
            continue;  // ApplyPort's and ApplyImplicitPort's
        std::string line = DescribeOptionChange(*row, m_running, next);
        if (TakenAtStartOnly(*row)) line += " It takes effect at the next start.";
        outcome.changes.push_back(std::move(line));
    }
    const OptionValues& was = m_running;
    if (next.maxUsers != was.maxUsers) m_server.SetMaxUsers(next.maxUsers);
    if (next.timeoutMinutes != was.timeoutMinutes) m_server.SetTimeout(next.timeoutMinutes);
    if (AnyDiffers(was, next, {&V::minPort, &V::maxPort}))
        m_server.SetPassiveRange(static_cast<std::uint32_t>(next.minPort),
                                 static_cast<std::uint32_t>(next.maxPort));
    // "Auto" keeps the detected address until the detection below finds another.
    if (next.passiveIp != was.passiveIp && !IsAutoPassiveIp(next.passiveIp))
        m_server.SetPassiveAddress(next.passiveIp);
    if (AnyDiffers(was, next,
                   {&V::banAttempts, &V::banWindow, &V::banTime, &V::failDelayMs, &V::maxPerAddress,
                    &V::maxPerUser, &V::loginTimeout, &V::maxNotLoggedIn, &V::hashPasswords}))
        m_server.SetLoginPolicy(LoginPolicyOf(next));
    m_server.Tls().Configure(m_server.ProgramDir(), next.tlsCertificateFile, next.tlsKeyFile,
                             next.tlsPolicy);
    if (next.tlsRequireReuse != was.tlsRequireReuse)
        m_server.SetTlsRequireReuse(next.tlsRequireReuse != 0);
    if (next.logJson != was.logJson) m_server.Audit().SetEnabled(next.logJson == 1);
    if (next.maxHashMiB != was.maxHashMiB) m_server.SetMaxHashMiB(next.maxHashMiB);
    // Loads the certificate now when its files changed, so a problem is logged here.
    if (m_server.IsRunning()) m_server.Tls().Prepare(m_server);
    if (std::any_of(OptionRows().begin(), OptionRows().end(), [&](const OptionRow& row) {
            return row.section == "Hooks" && Differs(was, next, row.member);
        }))
        ConfigureHooks(m_server, next);
    if (m_addressSettingsChanged &&
        AnyDiffers(was, next,
                   {&V::passiveIp, &V::dnsEnable, &V::dnsName, &V::dnsPassword, &V::dnsLookupUrl,
                    &V::dnsUpdateUrl}))
        m_addressSettingsChanged();
}

void CConfigReloader::ApplyLists(const OptionValues& next, const std::string& allow,
                                 const std::string& deny, ReloadOutcome& outcome) {
    CIpFilter& filter = m_server.Filter();
    const std::string oldAllow = filter.GetList(CIpFilter::List::Allow);
    const std::string oldDeny = filter.GetList(CIpFilter::List::Deny);
    const auto mode = static_cast<FilterMode>(next.filterMode);
    if (mode == filter.GetMode() && allow == oldAllow && deny == oldDeny) return;
    // Mode and lists in one step: no connection is checked against a mix.
    filter.Replace(mode, allow, deny);
    for (const CIpFilter::List list : {CIpFilter::List::Allow, CIpFilter::List::Deny}) {
        const bool isAllow = list == CIpFilter::List::Allow;
        const std::string& before = isAllow ? oldAllow : oldDeny;
        const std::string& after = isAllow ? allow : deny;
        if (before == after) continue;
        outcome.changes.push_back(StringFormat("The IP list %s changed from %zu to %zu entries.",
                                               CIpFilter::FileName(list), EntryCount(before),
                                               EntryCount(after)));
    }
}

void CConfigReloader::Report(const ReloadOutcome& outcome) {
    for (const std::string& line : outcome.changes) m_server.LogMessage(LogCategory::Server, line);
    for (const std::string& line : outcome.problems) m_server.LogMessage(LogCategory::Error, line);
    if (outcome.taken)
        m_server.LogMessage(LogCategory::Server,
                            outcome.changes.empty()
                                ? std::string("Reload done: nothing changed.")
                                : StringFormat("Reload done: %zu change%s.", outcome.changes.size(),
                                               outcome.changes.size() == 1 ? "" : "s"));
}
