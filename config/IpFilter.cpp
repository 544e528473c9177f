#include "config/IpFilter.h"

#include <algorithm>

#include "config/ConfigLimits.h"
#include "config/TextFile.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"

struct CIpFilter::Snapshot {
    FilterMode mode = FilterMode::Off;
    std::string allowText;
    std::string denyText;
    std::vector<CIpPattern> allow;
    std::vector<CIpPattern> deny;
};

namespace {

std::vector<CIpPattern> Compile(std::string_view listText) {
    std::vector<CIpPattern> patterns;
    for (const std::string& entry : CIpFilter::SplitEntries(listText)) patterns.emplace_back(entry);
    return patterns;
}

bool AnyMatches(const std::vector<CIpPattern>& patterns, const ClientAddress& client) {
    for (const CIpPattern& p : patterns)
        if (p.Matches(client)) return true;
    return false;
}

}  // namespace

// Keeps every snapshot a check may hold alive from the pointer load to the end of the check.
class CIpFilter::ReadGuard {
public:
    explicit ReadGuard(const CIpFilter& filter) : m_filter(filter) {
        m_filter.m_readers.fetch_add(1);
        m_snapshot = m_filter.m_current.load();
    }
    ~ReadGuard() { m_filter.m_readers.fetch_sub(1); }
    ReadGuard(const ReadGuard&) = delete;
    ReadGuard& operator=(const ReadGuard&) = delete;
    const Snapshot* operator->() const { return m_snapshot; }

private:
    const CIpFilter& m_filter;
    const Snapshot* m_snapshot;
};

CIpFilter::CIpFilter() : m_owned(std::make_unique<const Snapshot>()) {
    m_current.store(m_owned.get());
}

CIpFilter::~CIpFilter() = default;

bool CIpFilter::IsAllowed(std::string_view dottedAddress) const {
    const ReadGuard state(*this);
    switch (state->mode) {
        case FilterMode::Off:
            return true;
        case FilterMode::RefuseDenied:
            return !AnyMatches(state->deny, ClientAddress(dottedAddress));
        case FilterMode::AllowedOnly:
            return AnyMatches(state->allow, ClientAddress(dottedAddress));
    }
    return false;  // a stored number no mode has
}

FilterMode CIpFilter::GetMode() const { return ReadGuard(*this)->mode; }

std::string CIpFilter::GetList(List list) const {
    const ReadGuard state(*this);
    return list == List::Allow ? state->allowText : state->denyText;
}

void CIpFilter::SetMode(FilterMode mode) {
    Publish([mode](Snapshot& s) { s.mode = mode; });
}

void CIpFilter::SetList(List list, std::string_view text) {
    Publish([list, text](Snapshot& s) {
        (list == List::Allow ? s.allowText : s.denyText) = text;
        (list == List::Allow ? s.allow : s.deny) = Compile(text);
    });
}

void CIpFilter::Replace(FilterMode mode, std::string_view allowText, std::string_view denyText) {
    Publish([&](Snapshot& s) {
        s.mode = mode;
        s.allowText = allowText;
        s.denyText = denyText;
        s.allow = Compile(allowText);
        s.deny = Compile(denyText);
    });
}

bool CIpFilter::AppendEntry(List list, std::string_view entry) {
    bool appended = false;
    Publish([&](Snapshot& s) {
        std::string& text = list == List::Allow ? s.allowText : s.denyText;
        if (entry.empty() || ContainsEntry(text, entry)) return;
        text += ',';
        text += entry;
        // Compiled as the saved list is read again (an entry holding a comma is several,
        // blanks around one are not part of it), so a restart decides as this filter does.
        std::vector<CIpPattern>& patterns = list == List::Allow ? s.allow : s.deny;
        for (CIpPattern& pattern : Compile(entry)) patterns.push_back(std::move(pattern));
        appended = true;
    });
    return appended;
}

template <typename Change>
void CIpFilter::Publish(Change change) {
    std::lock_guard lock(m_writeLock);
    auto next = std::make_unique<Snapshot>(*m_owned);
    change(*next);
    m_current.store(next.get());
    m_retired.push_back(std::move(m_owned));
    m_owned = std::move(next);
    // No check running now means none holds a retired snapshot: later ones load m_current.
    if (m_readers.load() == 0) m_retired.clear();
}

bool CIpFilter::Load(const std::string& programDir) {
    const bool allowRead = LoadList(programDir, List::Allow);
    const bool denyRead = LoadList(programDir, List::Deny);
    return allowRead && denyRead;
}

bool CIpFilter::LoadList(const std::string& programDir, List list) {
    std::string text, error;
    switch (ReadTextFile(programDir + FileName(list), config::kMaxIpListFileSize, &text, &error)) {
        case FileReadResult::Read:
            SetList(list, text.substr(0, text.find('\0')));  // a zero byte ends the text
            return true;
        case FileReadResult::Missing:
            return true;
        case FileReadResult::Failed:
            break;
    }
    return Fail(std::move(error));
}

bool CIpFilter::ReadListChecked(const std::string& programDir, List list, std::string& text,
                                std::string& error) {
    const std::string path = programDir + FileName(list);
    text.clear();
    if (ReadTextFile(path, config::kMaxIpListFileSize, &text, &error) == FileReadResult::Failed)
        return false;
    text.resize(std::min(text.size(), text.find('\0')));  // a zero byte ends the text
    for (const std::string& entry : SplitEntries(text)) {
        if (IsValidIpListEntry(entry)) continue;
        error = path + ": the entry \"" + ReplaceControlCharacters(CutUtf8(entry, 255)) +
                "\" is no address, dotted pattern with * or address range";
        return false;
    }
    return true;
}

bool CIpFilter::Save(const std::string& programDir) const {
    const bool denySaved = SaveList(programDir, List::Deny);
    const bool allowSaved = SaveList(programDir, List::Allow);
    return denySaved && allowSaved;
}

bool CIpFilter::SaveList(const std::string& programDir, List list) const {
    std::string error;
    if (!platform::ReplaceFileAtomically(programDir + FileName(list), GetList(list), 0644, &error))
        return Fail(std::move(error));
    return true;
}

const char* CIpFilter::FileName(List list) {
    return list == List::Allow ? "acceptip.txt" : "rejectip.txt";
}

bool CIpFilter::IsValidEntry(std::string_view entry) { return CIpPattern(entry).IsDottedQuad(); }

bool CIpFilter::ContainsEntry(std::string_view listText, std::string_view entry) {
    for (const std::string& e : SplitEntries(listText))
        if (EqualsNoCase(e, entry)) return true;
    return false;
}

std::vector<std::string> CIpFilter::SplitEntries(std::string_view listText) {
    std::vector<std::string> entries;
    while (!listText.empty()) {
        const std::size_t comma = listText.find(',');
        // A list edited by hand may carry blanks or a final line break around entries.
        const std::string_view entry = Trim(listText.substr(0, comma), " \t\r\n");
        if (!entry.empty()) entries.emplace_back(entry);
        if (comma == std::string_view::npos) break;
        listText.remove_prefix(comma + 1);
    }
    return entries;
}

std::string CIpFilter::JoinEntries(const std::vector<std::string>& entries) {
    std::string text;
    for (const std::string& entry : entries) {
        if (entry.empty()) continue;
        if (!text.empty()) text += ',';
        text += entry;
    }
    return text;
}

bool CIpFilter::Fail(std::string why) const {
    m_lastError = std::move(why);
    return false;
}
