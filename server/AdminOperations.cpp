#include "server/AdminOperations.h"

#include <algorithm>
#include <vector>

#include "platform/StringFormat.h"
#include "platform/Text.h"
#include "server/FtpServer.h"

namespace {

const OptionRow* RowOf(const OptionMember& member) {
    const auto rows = OptionRows();
    const auto found = std::find_if(rows.begin(), rows.end(),
                                    [&](const OptionRow& row) { return row.member == member; });
    return found == rows.end() ? nullptr : &*found;
}

// "Session 12 (203.0.113.7, alice)": the user only once USER was sent.
std::string SessionText(CFtpServer& server, std::uint32_t id) {
    for (const SessionInfo& session : server.Sessions().Snapshot())
        if (session.id == id)
            return StringFormat("Session %u (%s%s%s)", id, session.address.c_str(),
                                session.user.empty() ? "" : ", ",
                                ReplaceControlCharacters(session.user).c_str());
    return StringFormat("Session %u", id);
}

const char* ListText(CIpFilter::List list) {
    return list == CIpFilter::List::Allow ? "allow" : "deny";
}

}  // namespace

const char* AdminOriginText(AdminOrigin origin) {
    switch (origin) {
        case AdminOrigin::Window:
            return "window";
        case AdminOrigin::ControlSocket:
            return "control socket";
        case AdminOrigin::Network:
            return "network";
    }
    return "unknown";
}

void CAdminOperations::Log(const std::string& what) {
    m_server.LogMessage(LogCategory::Server,
                        what + " by the administrator (" + AdminOriginText(m_origin) + ").");
    m_server.Audit().AdminAction(what, AdminOriginText(m_origin), m_peer);
}

bool CAdminOperations::Kick(std::uint32_t id) {
    // Named before it ends: the registry forgets a session as it goes.
    const std::string session = SessionText(m_server, id);
    if (!m_server.Kick(id)) return false;
    Log(session + " kicked");
    return true;
}

bool CAdminOperations::LiftBan(const std::string& address) {
    if (!m_server.LoginGuard().Lift(address)) return false;
    Log("Ban of " + ReplaceControlCharacters(address) + " lifted");
    return true;
}

bool CAdminOperations::AddBan(const std::string& address, std::int64_t seconds) {
    if (!m_server.LoginGuard().Ban(address, seconds)) return false;
    Log(StringFormat("Address %s banned for %lld s", ReplaceControlCharacters(address).c_str(),
                     static_cast<long long>(seconds)));
    return true;
}

bool CAdminOperations::StartListening() {
    if (m_server.IsRunning() || !m_server.Start()) return false;
    Log("Server started");
    return true;
}

bool CAdminOperations::StopListening() {
    if (!m_server.IsRunning()) return false;
    m_server.Stop();
    Log("Server stopped");
    return true;
}

void CAdminOperations::SaveListOf(CIpFilter::List list) {
    CIpFilter& filter = m_server.Filter();
    if (!filter.SaveList(m_server.ProgramDir(), list))
        m_server.LogMessage(LogCategory::Error,
                            StringFormat("The %s list is in force but not saved: %s",
                                         ListText(list), filter.GetLastError().c_str()));
}

bool CAdminOperations::RemoveIpEntry(CIpFilter::List list, const std::string& entry) {
    CIpFilter& filter = m_server.Filter();
    std::vector<std::string> entries = CIpFilter::SplitEntries(filter.GetList(list));
    const std::size_t before = entries.size();
    std::erase_if(entries,
                  [&](const std::string& e) { return CIpFilter::ContainsEntry(e, entry); });
    if (entries.size() == before) return false;
    filter.SetList(list, CIpFilter::JoinEntries(entries));
    Log(StringFormat("%s removed from the %s list", ReplaceControlCharacters(entry).c_str(),
                     ListText(list)));
    SaveListOf(list);
    return true;
}

bool CAdminOperations::AddIpEntry(CIpFilter::List list, const std::string& entry) {
    CIpFilter& filter = m_server.Filter();
    if (!filter.AppendEntry(list, entry)) return false;
    Log(StringFormat("%s added to the %s list", ReplaceControlCharacters(entry).c_str(),
                     ListText(list)));
    SaveListOf(list);
    return true;
}

std::string CAdminOperations::ReplaceIpFilter(FilterMode mode, std::string_view allowText,
                                              std::string_view denyText) {
    CIpFilter& filter = m_server.Filter();
    filter.Replace(mode, allowText, denyText);
    NoteIpFilterReplaced();
    COptions options(m_server.ProgramDir());
    const bool modeSaved = options.WriteInt(&OptionValues::filterMode, static_cast<int>(mode));
    const bool listsSaved = filter.Save(m_server.ProgramDir());
    std::string why = !modeSaved    ? options.GetLastError()
                      : !listsSaved ? filter.GetLastError()
                                    : "";
    if (!why.empty())
        m_server.LogMessage(LogCategory::Error,
                            "The IP filter is in force but not saved for the next start: " + why);
    return why;
}

void CAdminOperations::NoteIpFilterReplaced() {
    const CIpFilter& filter = m_server.Filter();
    Log(StringFormat("IP filter set to mode %d with %zu allow and %zu deny entries",
                     static_cast<int>(filter.GetMode()),
                     CIpFilter::SplitEntries(filter.GetList(CIpFilter::List::Allow)).size(),
                     CIpFilter::SplitEntries(filter.GetList(CIpFilter::List::Deny)).size()));
}

void CAdminOperations::NoteAccountEdit(AccountKind kind, AccountEdit edit, std::string_view name) {
    static constexpr const char* kEdits[] = {"added", "changed", "deleted"};
    Log(StringFormat("%s %s %s", kind == AccountKind::User ? "User" : "Group",
                     ReplaceControlCharacters(name).c_str(), kEdits[static_cast<int>(edit)]));
}

bool CAdminOperations::SaveOptions(const OptionValues& values,
                                   std::span<const OptionMember> members) {
    COptions options(m_server.ProgramDir());
    const OptionValues before = options.Load();
    if (!options.SaveKeys(values, members)) {
        m_server.LogMessage(LogCategory::Error,
                            "option.ini could not be written: " + options.GetLastError());
        return false;
    }
    for (const OptionMember& member : members) {
        const OptionRow* row = RowOf(member);
        if (row == nullptr || SameOptionValue(before, values, member)) continue;
        const std::string shown =
            IsSecretOption(member) ? "a new value" : OptionValueShown(values, member);
        Log(StringFormat("Option %.*s set to %s", static_cast<int>(row->writeName.size()),
                         row->writeName.data(), shown.c_str()));
    }
    return true;
}
