#include "config/IniDocument.h"

#include "platform/Text.h"

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::size_t npos = std::string::npos;

bool IsComment(std::string_view trimmed) {
    return !trimmed.empty() && (trimmed.front() == ';' || trimmed.front() == '#');
}

// The name of a section header line, or nothing when `text` is not one.
std::optional<std::string_view> SectionName(std::string_view text) {
    const std::string_view t = TrimBlanks(text);
    if (t.empty() || t.front() != '[') return std::nullopt;
    const std::size_t close = t.find(']');
    if (close == npos) return std::nullopt;
    return TrimBlanks(t.substr(1, close - 1));
}

// Splits a key line at its first "="; false for headers, comments and lines without a key.
bool SplitKeyLine(std::string_view text, std::string_view* key, std::string_view* value) {
    const std::string_view t = TrimBlanks(text);
    if (t.empty() || t.front() == '[' || IsComment(t)) return false;
    const std::size_t eq = text.find('=');
    if (eq == npos) return false;
    *key = TrimBlanks(text.substr(0, eq));
    *value = TrimBlanks(text.substr(eq + 1));
    return !key->empty();
}

}  // namespace

void CIniDocument::Parse(std::string_view text) {
    m_lines.clear();
    m_bom.clear();
    if (text.starts_with(kBom)) {
        m_bom = kBom;
        text.remove_prefix(kBom.size());
    }
    while (!text.empty()) {
        const std::size_t lf = text.find('\n');
        if (lf == npos) {
            m_lines.push_back({std::string(text), ""});
            break;
        }
        std::string_view body = text.substr(0, lf);
        std::string eol = "\n";
        if (body.ends_with('\r')) {
            body.remove_suffix(1);
            eol = "\r\n";
        }
        m_lines.push_back({std::string(body), std::move(eol)});
        text.remove_prefix(lf + 1);
    }
}

std::string CIniDocument::Serialize() const {
    std::string out = m_bom;
    for (const Line& line : m_lines) {
        out += line.text;
        out += line.eol;
    }
    return out;
}

std::optional<std::string> CIniDocument::Find(std::string_view section,
                                              std::string_view key) const {
    const std::size_t header = FindSection(section);
    if (header == npos) return std::nullopt;
    const std::size_t at = FindKey(header, key);
    if (at == npos) return std::nullopt;
    std::string_view k, v;
    SplitKeyLine(m_lines[at].text, &k, &v);
    return std::string(v);
}

void CIniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
    const std::size_t header = FindSection(section);
    if (header == npos) {
        if (!m_lines.empty() && !TrimBlanks(m_lines.back().text).empty())
            InsertLine(m_lines.size(), "");
        InsertLine(m_lines.size(), "[" + std::string(section) + "]");
        InsertLine(m_lines.size(), std::string(key) + "=" + std::string(value));
        return;
    }
    const std::size_t at = FindKey(header, key);
    if (at != npos) {
        // Keep the key's spelling and the blanks around "=" as the file has them.
        std::string& text = m_lines[at].text;
        std::size_t valueStart = text.find('=') + 1;
        while (valueStart < text.size() && (text[valueStart] == ' ' || text[valueStart] == '\t'))
            ++valueStart;
        text.replace(valueStart, npos, value);
        return;
    }
    std::size_t insertAt = SectionEnd(header);
    while (insertAt > header + 1 && TrimBlanks(m_lines[insertAt - 1].text).empty()) --insertAt;
    InsertLine(insertAt, std::string(key) + "=" + std::string(value));
}

bool CIniDocument::IsValidName(std::string_view name) {
    if (name.empty() || TrimBlanks(name).size() != name.size()) return false;
    if (name.front() == ';' || name.front() == '#') return false;
    return name.find_first_of(std::string_view("\r\n\0[]=", 7)) == npos;
}

bool CIniDocument::IsValidValue(std::string_view value) {
    return value.find_first_of(std::string_view("\r\n\0", 3)) == npos;
}

std::size_t CIniDocument::FindSection(std::string_view section) const {
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const auto name = SectionName(m_lines[i].text);
        if (name && EqualsNoCase(*name, section)) return i;
    }
    return npos;
}

std::size_t CIniDocument::FindKey(std::size_t header, std::string_view key) const {
    const std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        std::string_view k, v;
        if (SplitKeyLine(m_lines[i].text, &k, &v) && EqualsNoCase(k, key)) return i;
    }
    return npos;
}

std::size_t CIniDocument::SectionEnd(std::size_t header) const {
    std::size_t i = header + 1;
    while (i < m_lines.size() && !SectionName(m_lines[i].text)) ++i;
    return i;
}

void CIniDocument::InsertLine(std::size_t at, std::string text) {
    const std::string eol = NewLineEnding();
    // A last line without an ending gets one before anything follows it.
    if (at > 0 && m_lines[at - 1].eol.empty()) m_lines[at - 1].eol = eol;
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at), Line{std::move(text), eol});
}

std::string CIniDocument::NewLineEnding() const {
    if (!m_lines.empty() && !m_lines.front().eol.empty()) return m_lines.front().eol;
    return "\n";
}
