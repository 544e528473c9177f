#include "config/Options.h"

#include <array>
#include <vector>

#include "config/IniDocument.h"
#include "platform/HostAddresses.h"
#include "platform/Text.h"

namespace {

using V = OptionValues;

constexpr std::array kRows{
    OptionRow{"Server", "port", "Port", &V::port},
    OptionRow{"Server", "maxusers", "maxusers", &V::maxUsers},
    OptionRow{"Server", "timeout", "timeout", &V::timeoutMinutes},
    OptionRow{"Server", "MinPort", "MinPort", &V::minPort},
    OptionRow{"Server", "MaxPort", "MaxPort", &V::maxPort},
    OptionRow{"Server", "PassiveIP", "PassiveIP", &V::passiveIp},
    OptionRow{"Server", "FilterMode", "FilterMode", &V::filterMode},
    OptionRow{"Server", "Startup", "startup", &V::startup},
    OptionRow{"Server", "AutoActive", "AutoActive", &V::autoActive},
    OptionRow{"Server", "Minimize", "Minimize", &V::minimize},
    OptionRow{"Server", "Savelog", "Savelog", &V::saveLog},
    OptionRow{"Server", "defaultdir", "defaultdir", &V::defaultDir},
    OptionRow{"Security", "BanAttempts", "BanAttempts", &V::banAttempts},
    OptionRow{"Security", "BanWindow", "BanWindow", &V::banWindow},
    OptionRow{"Security", "BanTime", "BanTime", &V::banTime},
    OptionRow{"Security", "FailDelay", "FailDelay", &V::failDelayMs},
    OptionRow{"Security", "MaxPerAddress", "MaxPerAddress", &V::maxPerAddress},
    OptionRow{"Security", "MaxPerUser", "MaxPerUser", &V::maxPerUser},
    OptionRow{"Security", "LoginTimeout", "LoginTimeout", &V::loginTimeout},
    OptionRow{"Security", "MaxNotLoggedIn", "MaxNotLoggedIn", &V::maxNotLoggedIn},
    OptionRow{"Security", "HashPasswords", "HashPasswords", &V::hashPasswords},
    OptionRow{"DNS", "Enable", "Enable", &V::dnsEnable},
    OptionRow{"DNS", "Name", "Name", &V::dnsName},
    OptionRow{"DNS", "Password", "Password", &V::dnsPassword},
    OptionRow{"DNS", "LookupUrl", "LookupUrl", &V::dnsLookupUrl},
    OptionRow{"DNS", "UpdateUrl", "UpdateUrl", &V::dnsUpdateUrl},
    OptionRow{"DEFAULT", "USER", "USER", &V::defaultUser},
    OptionRow{"DEFAULT", "PASS", "PASS", &V::defaultPass},
    OptionRow{"TLS", "Policy", "Policy", &V::tlsPolicy},
    OptionRow{"TLS", "CertificateFile", "CertificateFile", &V::tlsCertificateFile},
    OptionRow{"TLS", "KeyFile", "KeyFile", &V::tlsKeyFile},
    OptionRow{"Admin", "Listen", "Listen", &V::adminListen},
    OptionRow{"Admin", "CertificateFile", "CertificateFile", &V::adminCertificateFile},
    OptionRow{"Admin", "KeyFile", "KeyFile", &V::adminKeyFile},
    OptionRow{"Admin", "PasswordHash", "PasswordHash", &V::adminPasswordHash},
    OptionRow{"Admin", "TokenMinutes", "TokenMinutes", &V::adminTokenMinutes},
};

// Every member has its row: as many rows as OptionValues has members, none twice. A
// member added without its row stops the build here.
struct AnyValue {
    template <typename T>
    operator T() const;  // only named in unevaluated checks
};

template <typename T, typename... Values>
consteval std::size_t MemberCount(Values... values) {
    if constexpr (requires { T{values..., AnyValue{}}; })
        return MemberCount<T>(values..., AnyValue{});
    else
        return sizeof...(Values);
}

consteval bool NoMemberTwice() {
    for (std::size_t i = 0; i < kRows.size(); ++i)
        for (std::size_t j = i + 1; j < kRows.size(); ++j)
            if (kRows[i].member == kRows[j].member) return false;
    return true;
}

static_assert(kRows.size() == MemberCount<OptionValues>(), "an option member lacks its row");
static_assert(NoMemberTwice(), "two option rows name one member");

// The row of `member`, or null when it has none (a member added without its row).
template <typename Member>
constexpr const OptionRow* RowOf(Member member) {
    for (const OptionRow& row : kRows) {
        const Member* candidate = std::get_if<Member>(&row.member);
        if (candidate != nullptr && *candidate == member) return &row;
    }
    return nullptr;
}

std::string NoRowError() { return "an option without a row in the option table"; }

// Reads one row's key into `values`, as the profile read does. A missing key leaves
// the member as it is: `values` starts from the defaults.
void ReadRow(const CIniDocument& doc, const OptionRow& row, OptionValues& values) {
    const auto text = CIniFile::ProfileText(doc.Find(row.section, row.readName));
    if (!text) return;
    if (const auto* member = std::get_if<IntOption>(&row.member))
        values.*(*member) = LeadingInt(*text);
    else
        values.*std::get<TextOption>(row.member) = *text;
}

const OptionValues kDefaults{};

std::string ShownValue(const OptionRow& row, const OptionValues& values) {
    if (const auto* member = std::get_if<IntOption>(&row.member))
        return std::to_string(values.*(*member));
    return values.*std::get<TextOption>(row.member);
}

}  // namespace

std::span<const OptionRow> OptionRows() { return kRows; }

const OptionValues& DefaultOptions() {
    static const OptionValues defaults{};
    return defaults;
}

COptions::COptions(const std::string& programDir) : m_file(programDir + "option.ini") {}

OptionValues COptions::Load() const {
    CIniDocument doc;
    (void)m_file.Load(&doc);  // unreadable reads as missing: every key takes its default
    OptionValues values;
    for (const OptionRow& row : kRows) ReadRow(doc, row, values);
    return values;
}

bool COptions::Save(const OptionValues& values) {
    std::vector<IniEntry> entries;
    for (const OptionRow& row : kRows)
        entries.push_back(IniEntry{row.section, row.writeName, ShownValue(row, values)});
    if (!m_file.WriteEntries(entries)) return Fail(m_file.GetLastError());
    return true;
}

bool COptions::SaveKeys(const OptionValues& values, std::span<const OptionMember> members) {
    std::vector<IniEntry> entries;
    for (const OptionMember& member : members) {
        const OptionRow* row =
            std::visit([](auto m) -> const OptionRow* { return RowOf(m); }, member);
        if (row == nullptr) return Fail(NoRowError());
        entries.push_back(IniEntry{row->section, row->writeName, ShownValue(*row, values)});
    }
    if (!m_file.WriteEntries(entries)) return Fail(m_file.GetLastError());
    return true;
}

// A member without a row reads as its default: nothing in the file can be its key.
int COptions::ReadInt(IntOption option) const {
    const OptionRow* row = RowOf(option);
    if (row == nullptr) return kDefaults.*option;
    return m_file.ReadInt(row->section, row->readName, kDefaults.*option);
}

std::string COptions::ReadText(TextOption option) const {
    const OptionRow* row = RowOf(option);
    if (row == nullptr) return kDefaults.*option;
    return m_file.ReadString(row->section, row->readName, kDefaults.*option);
}

bool COptions::WriteInt(IntOption option, int value) {
    const OptionRow* row = RowOf(option);
    if (row == nullptr) return Fail(NoRowError());
    if (!m_file.WriteInt(row->section, row->writeName, value)) return Fail(m_file.GetLastError());
    return true;
}

bool COptions::WriteText(TextOption option, std::string_view value) {
    const OptionRow* row = RowOf(option);
    if (row == nullptr) return Fail(NoRowError());
    if (!m_file.WriteString(row->section, row->writeName, value))
        return Fail(m_file.GetLastError());
    return true;
}

bool COptions::Fail(std::string why) {
    m_lastError = std::move(why);
    return false;
}

bool IsAutoPassiveIp(std::string_view passiveIp) { return EqualsNoCase(passiveIp, "Auto"); }

bool IsUsablePassiveIp(std::string_view passiveIp) {
    return passiveIp.empty() || IsAutoPassiveIp(passiveIp) || IsUnicastIpv4Text(passiveIp);
}

bool SameOptionValue(const OptionValues& a, const OptionValues& b, const OptionMember& member) {
    if (const auto* number = std::get_if<IntOption>(&member)) return a.*(*number) == b.*(*number);
    const TextOption text = std::get<TextOption>(member);
    return a.*text == b.*text;
}

void CopyOptionValue(const OptionValues& from, OptionValues& to, const OptionMember& member) {
    if (const auto* number = std::get_if<IntOption>(&member))
        to.*(*number) = from.*(*number);
    else
        to.*std::get<TextOption>(member) = from.*std::get<TextOption>(member);
}
