#include "config/Options.h"

#include <array>

#include "config/IniDocument.h"
#include "config/TextUtil.h"

namespace {

struct KeyInfo {
    OptionKey key;
    std::string_view section;
    std::string_view readName;
    std::string_view writeName;
    bool isInt;
    int intDefault;  // text keys default to the empty text
};

constexpr std::array<KeyInfo, 17> kKeys{{
    {OptionKey::Port, "Server", "port", "Port", true, 21},
    {OptionKey::MaxUsers, "Server", "maxusers", "maxusers", true, 20},
    {OptionKey::Timeout, "Server", "timeout", "timeout", true, 10},
    {OptionKey::MinPort, "Server", "MinPort", "MinPort", true, 1024},
    {OptionKey::MaxPort, "Server", "MaxPort", "MaxPort", true, 65535},
    {OptionKey::PassiveIp, "Server", "PassiveIP", "PassiveIP", false, 0},
    {OptionKey::FilterMode, "Server", "FilterMode", "FilterMode", true, 0},
    {OptionKey::Startup, "Server", "Startup", "startup", true, 0},
    {OptionKey::AutoActive, "Server", "AutoActive", "AutoActive", true, 0},
    {OptionKey::Minimize, "Server", "Minimize", "Minimize", true, 0},
    {OptionKey::SaveLog, "Server", "Savelog", "Savelog", true, 0},
    {OptionKey::DefaultDir, "Server", "defaultdir", "defaultdir", false, 0},
    {OptionKey::DnsEnable, "DNS", "Enable", "Enable", true, 0},
    {OptionKey::DnsName, "DNS", "Name", "Name", false, 0},
    {OptionKey::DnsPassword, "DNS", "Password", "Password", false, 0},
    {OptionKey::DefaultUser, "DEFAULT", "USER", "USER", false, 0},
    {OptionKey::DefaultPass, "DEFAULT", "PASS", "PASS", false, 0},
}};

const KeyInfo& Info(OptionKey key) {
    for (const KeyInfo& info : kKeys)
        if (info.key == key) return info;
    return kKeys.front();  // unreachable: the table lists every key
}

int IntFrom(const CIniDocument& doc, OptionKey key) {
    const KeyInfo& info = Info(key);
    const auto text = CIniFile::ProfileText(doc.Find(info.section, info.readName));
    return text ? config::LeadingInt(*text) : info.intDefault;
}

std::string TextFrom(const CIniDocument& doc, OptionKey key) {
    const KeyInfo& info = Info(key);
    return CIniFile::ProfileText(doc.Find(info.section, info.readName)).value_or("");
}

}  // namespace

COptions::COptions(const std::string& programDir) : m_file(programDir + "option.ini") {}

OptionValues COptions::Load() const {
    CIniDocument doc;
    (void)m_file.Load(&doc);  // unreadable reads as missing: every key takes its default
    OptionValues v;
    v.port = IntFrom(doc, OptionKey::Port);
    v.maxUsers = IntFrom(doc, OptionKey::MaxUsers);
    v.timeoutMinutes = IntFrom(doc, OptionKey::Timeout);
    v.minPort = IntFrom(doc, OptionKey::MinPort);
    v.maxPort = IntFrom(doc, OptionKey::MaxPort);
    v.passiveIp = TextFrom(doc, OptionKey::PassiveIp);
    v.filterMode = IntFrom(doc, OptionKey::FilterMode);
    v.startup = IntFrom(doc, OptionKey::Startup);
    v.autoActive = IntFrom(doc, OptionKey::AutoActive);
    v.minimize = IntFrom(doc, OptionKey::Minimize);
    v.saveLog = IntFrom(doc, OptionKey::SaveLog);
    v.defaultDir = TextFrom(doc, OptionKey::DefaultDir);
    v.dnsEnable = IntFrom(doc, OptionKey::DnsEnable);
    v.dnsName = TextFrom(doc, OptionKey::DnsName);
    v.dnsPassword = TextFrom(doc, OptionKey::DnsPassword);
    v.defaultUser = TextFrom(doc, OptionKey::DefaultUser);
    v.defaultPass = TextFrom(doc, OptionKey::DefaultPass);
    return v;
}

int COptions::ReadInt(OptionKey key) const {
    const KeyInfo& info = Info(key);
    return m_file.ReadInt(info.section, info.readName, info.intDefault);
}

std::string COptions::ReadText(OptionKey key) const {
    const KeyInfo& info = Info(key);
    return m_file.ReadString(info.section, info.readName, "");
}

bool COptions::WriteInt(OptionKey key, int value) {
    const KeyInfo& info = Info(key);
    if (!info.isInt) return Fail(std::string(info.readName) + " is not an integer option");
    if (!m_file.WriteInt(info.section, info.writeName, value)) return Fail(m_file.GetLastError());
    return true;
}

bool COptions::WriteText(OptionKey key, std::string_view value) {
    const KeyInfo& info = Info(key);
    if (info.isInt) return Fail(std::string(info.readName) + " is an integer option");
    if (!m_file.WriteString(info.section, info.writeName, value))
        return Fail(m_file.GetLastError());
    return true;
}

bool COptions::Fail(std::string why) {
    m_lastError = std::move(why);
    return false;
}

bool IsAutoPassiveIp(std::string_view passiveIp) {
    return config::EqualsNoCase(passiveIp, "Auto");
}
