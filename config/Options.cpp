#include "config/Options.h"

#include <array>
#include <vector>

#include "config/ConfigLimits.h"
#include "config/IniDocument.h"
#include "config/TextFile.h"
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
    OptionRow{"Security", "MaxHashMiB", "MaxHashMiB", &V::maxHashMiB},
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
    OptionRow{"TLS", "ImplicitPort", "ImplicitPort", &V::tlsImplicitPort},
    OptionRow{"TLS", "RequireReuse", "RequireReuse", &V::tlsRequireReuse},
    OptionRow{"ACME", "Domains", "Domains", &V::acmeDomains},
    OptionRow{"ACME", "Directory", "Directory", &V::acmeDirectory},
    OptionRow{"ACME", "Email", "Email", &V::acmeEmail},
    OptionRow{"ACME", "HttpPort", "HttpPort", &V::acmeHttpPort},
    OptionRow{"ACME", "DirectoryCaFile", "DirectoryCaFile", &V::acmeDirectoryCaFile},
    OptionRow{"Admin", "Listen", "Listen", &V::adminListen},
    OptionRow{"Admin", "CertificateFile", "CertificateFile", &V::adminCertificateFile},
    OptionRow{"Admin", "KeyFile", "KeyFile", &V::adminKeyFile},
    OptionRow{"Admin", "PasswordHash", "PasswordHash", &V::adminPasswordHash},
    OptionRow{"Admin", "TokenMinutes", "TokenMinutes", &V::adminTokenMinutes},
    OptionRow{"Admin", "MetricsToken", "MetricsToken", &V::adminMetricsToken},
    OptionRow{"Admin", "MetricsListen", "MetricsListen", &V::adminMetricsListen},
    OptionRow{"Log", "Json", "Json", &V::logJson},
    OptionRow{"Hooks", "OnUploadComplete", "OnUploadComplete", &V::hookOnUploadComplete},
    OptionRow{"Hooks", "OnUploadCompleteUrl", "OnUploadCompleteUrl", &V::hookOnUploadCompleteUrl},
    OptionRow{"Hooks", "OnUploadFailed", "OnUploadFailed", &V::hookOnUploadFailed},
    OptionRow{"Hooks", "OnUploadFailedUrl", "OnUploadFailedUrl", &V::hookOnUploadFailedUrl},
    OptionRow{"Hooks", "OnDownloadComplete", "OnDownloadComplete", &V::hookOnDownloadComplete},
    OptionRow{"Hooks", "OnDownloadCompleteUrl", "OnDownloadCompleteUrl",
              &V::hookOnDownloadCompleteUrl},
    OptionRow{"Hooks", "OnDelete", "OnDelete", &V::hookOnDelete},
    OptionRow{"Hooks", "OnDeleteUrl", "OnDeleteUrl", &V::hookOnDeleteUrl},
    OptionRow{"Hooks", "OnRename", "OnRename", &V::hookOnRename},
    OptionRow{"Hooks", "OnRenameUrl", "OnRenameUrl", &V::hookOnRenameUrl},
    OptionRow{"Hooks", "OnMakeDir", "OnMakeDir", &V::hookOnMakeDir},
    OptionRow{"Hooks", "OnMakeDirUrl", "OnMakeDirUrl", &V::hookOnMakeDirUrl},
    OptionRow{"Hooks", "OnRemoveDir", "OnRemoveDir", &V::hookOnRemoveDir},
    OptionRow{"Hooks", "OnRemoveDirUrl", "OnRemoveDirUrl", &V::hookOnRemoveDirUrl},
    OptionRow{"Hooks", "OnLogin", "OnLogin", &V::hookOnLogin},
    OptionRow{"Hooks", "OnLoginUrl", "OnLoginUrl", &V::hookOnLoginUrl},
    OptionRow{"Hooks", "OnLoginFailed", "OnLoginFailed", &V::hookOnLoginFailed},
    OptionRow{"Hooks", "OnLoginFailedUrl", "OnLoginFailedUrl", &V::hookOnLoginFailedUrl},
    OptionRow{"Hooks", "OnBan", "OnBan", &V::hookOnBan},
    OptionRow{"Hooks", "OnBanUrl", "OnBanUrl", &V::hookOnBanUrl},
    OptionRow{"Hooks", "OnQuotaExceeded", "OnQuotaExceeded", &V::hookOnQuotaExceeded},
    OptionRow{"Hooks", "OnQuotaExceededUrl", "OnQuotaExceededUrl", &V::hookOnQuotaExceededUrl},
    OptionRow{"Hooks", "OnServerStart", "OnServerStart", &V::hookOnServerStart},
    OptionRow{"Hooks", "OnServerStartUrl", "OnServerStartUrl", &V::hookOnServerStartUrl},
    OptionRow{"Hooks", "OnServerStop", "OnServerStop", &V::hookOnServerStop},
    OptionRow{"Hooks", "OnServerStopUrl", "OnServerStopUrl", &V::hookOnServerStopUrl},
    OptionRow{"Hooks", "Secret", "Secret", &V::hookSecret},
    OptionRow{"Hooks", "CaFile", "CaFile", &V::hookCaFile},
    OptionRow{"Hooks", "Concurrency", "Concurrency", &V::hookConcurrency},
    OptionRow{"Hooks", "ActionTimeout", "ActionTimeout", &V::hookTimeout},
    OptionRow{"Hooks", "QueueSize", "QueueSize", &V::hookQueueSize},
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
    return OptionValueText(values, row.member);
}

OptionValues ValuesOf(const CIniDocument& doc) {
    OptionValues values;
    for (const OptionRow& row : kRows) ReadRow(doc, row, values);
    return values;
}

// What CIniDocument would take for a section header, a key line or a comment; anything
// else it keeps and ignores, which hides a typo.
bool IsKnownLineForm(std::string_view line) {
    const std::string_view t = TrimBlanks(line);
    if (t.empty() || t.front() == ';' || t.front() == '#') return true;
    if (t.front() == '[') return t.find(']') != std::string_view::npos;
    const std::size_t eq = t.find('=');
    return eq != std::string_view::npos && !TrimBlanks(t.substr(0, eq)).empty();
}

// The first line of `text` that is of no known form, as "line N: TEXT"; empty when none.
std::string FirstUnknownLine(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    for (std::size_t number = 1; !text.empty(); ++number) {
        const std::size_t lf = text.find('\n');
        std::string_view line = text.substr(0, lf);
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (!IsKnownLineForm(line))
            return "line " + std::to_string(number) + ": \"" +
                   ReplaceControlCharacters(CutUtf8(line, config::kMaxProfileValue)) + "\"";
        if (lf == std::string_view::npos) break;
        text.remove_prefix(lf + 1);
    }
    return {};
}

bool IsWholeNumber(std::string_view text) {
    if (text.starts_with('+') || text.starts_with('-')) text.remove_prefix(1);
    if (text.empty() || text.size() > 10) return false;
    for (const char c : text)
        if (c < '0' || c > '9') return false;
    const long long value = std::stoll(std::string(text));
    return value <= 2147483647LL;
}

// The first number key whose stored value is not a whole number, as "[Section] key=VALUE".
std::string FirstBadNumber(const CIniDocument& doc) {
    for (const OptionRow& row : kRows) {
        if (!std::holds_alternative<IntOption>(row.member)) continue;
        const auto text = CIniFile::ProfileText(doc.Find(row.section, row.readName));
        if (text && !IsWholeNumber(*text))
            return "[" + std::string(row.section) + "] " + std::string(row.readName) + "=" +
                   ReplaceControlCharacters(*text) + " is not a whole number";
    }
    return {};
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
    return ValuesOf(doc);
}

bool COptions::LoadChecked(OptionValues& values, std::string& error) const {
    std::string text;
    if (ReadTextFile(m_file.Path(), config::kMaxOptionFileSize, &text, &error) ==
        FileReadResult::Failed)
        return false;
    if (std::string bad = FirstUnknownLine(text); !bad.empty()) {
        error = m_file.Path() + " " + bad + " is no [section], key=value line or comment";
        return false;
    }
    CIniDocument doc;
    doc.Parse(text);
    if (std::string bad = FirstBadNumber(doc); !bad.empty()) {
        error = m_file.Path() + ": " + bad;
        return false;
    }
    values = ValuesOf(doc);
    return true;
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

std::string OptionValueText(const OptionValues& values, const OptionMember& member) {
    if (const auto* number = std::get_if<IntOption>(&member))
        return std::to_string(values.*(*number));
    return values.*std::get<TextOption>(member);
}

std::string OptionValueShown(const OptionValues& values, const OptionMember& member) {
    if (std::holds_alternative<IntOption>(member)) return OptionValueText(values, member);
    return "\"" + ReplaceControlCharacters(OptionValueText(values, member)) + "\"";
}

bool IsSecretOption(const OptionMember& member) {
    return member == OptionMember{&V::dnsPassword} || member == OptionMember{&V::defaultPass} ||
           member == OptionMember{&V::adminPasswordHash} ||
           member == OptionMember{&V::adminMetricsToken} || member == OptionMember{&V::hookSecret};
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
