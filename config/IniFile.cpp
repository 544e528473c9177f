#include "config/IniFile.h"

#include <mutex>

#include "config/ConfigLimits.h"
#include "config/IniDocument.h"
#include "config/TextFile.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"

namespace {

// One read-modify-write at a time in the process; otherwise two writers that read the same
// old text would each drop the other's key.
std::mutex g_writeLock;

// SECURITY: the options file holds passwords (dynamic DNS, remembered FTP credentials).
constexpr unsigned kNewFileMode = 0600;

}  // namespace

bool CIniFile::Load(CIniDocument* doc, std::string* error) const {
    doc->Parse("");
    std::string text, why;
    if (ReadTextFile(m_path, config::kMaxOptionFileSize, &text, &why) == FileReadResult::Failed) {
        if (error != nullptr) *error = std::move(why);
        return false;
    }
    doc->Parse(text);
    return true;
}

std::string CIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) const {
    CIniDocument doc;
    (void)Load(&doc);  // unreadable reads as missing: every key takes its default
    const auto text = ProfileText(doc.Find(section, key));
    return text ? *text : CutUtf8(defaultValue, config::kMaxProfileValue);
}

int CIniFile::ReadInt(std::string_view section, std::string_view key, int defaultValue) const {
    CIniDocument doc;
    (void)Load(&doc);
    const auto text = ProfileText(doc.Find(section, key));
    return text ? LeadingInt(*text) : defaultValue;
}

bool CIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    const IniEntry entry{section, key, std::string(value)};
    return WriteEntries({&entry, 1});
}

bool CIniFile::WriteEntries(std::span<const IniEntry> entries) {
    for (const IniEntry& entry : entries) {
        if (!CIniDocument::IsValidName(entry.section) || !CIniDocument::IsValidName(entry.key))
            return Fail("invalid section or key name for '" + m_path + "'");
        // SECURITY: a line break in a value would let it write further keys.
        if (!CIniDocument::IsValidValue(entry.value))
            return Fail("value of " + std::string(entry.key) + " holds a line break or NUL");
    }
    std::lock_guard lock(g_writeLock);
    CIniDocument doc;
    std::string error;
    if (!Load(&doc, &error)) return Fail(std::move(error));
    for (const IniEntry& entry : entries) doc.Set(entry.section, entry.key, entry.value);
    if (!platform::ReplaceFileAtomically(m_path, doc.Serialize(), kNewFileMode, &error))
        return Fail(std::move(error));
    return true;
}

bool CIniFile::WriteInt(std::string_view section, std::string_view key, int value) {
    return WriteString(section, key, std::to_string(value));
}

std::optional<std::string> CIniFile::ProfileText(const std::optional<std::string>& stored) {
    if (!stored || stored->empty()) return std::nullopt;
    return CutUtf8(*stored, config::kMaxProfileValue);
}

bool CIniFile::Fail(std::string why) {
    m_lastError = std::move(why);
    return false;
}
