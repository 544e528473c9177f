#include "ftp/ListFormat.h"

#include "platform/Clock.h"
#include "platform/StringFormat.h"
#include "platform/Text.h"

namespace {

constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

constexpr std::int64_t kSecondsPerDay = 86400;

struct FactName {
    MlstFact fact;
    const char* name;
};
constexpr FactName kFactNames[] = {
    {kFactType, "type"}, {kFactSize, "size"},          {kFactModify, "modify"},
    {kFactPerm, "perm"}, {kFactUnixMode, "UNIX.mode"},
};

std::string LineFor(const char* mode, std::int64_t size, const std::string& date,
                    const std::string& name) {
    return StringFormat("%s 1 user group %14lld%s%s\r\n", mode, static_cast<long long>(size),
                        date.c_str(), name.c_str());
}

}  // namespace

std::string FormatListDate(std::int64_t lastWriteTime, std::int64_t now) {
    const std::tm local = LocalTime(lastWriteTime);
    const char* month = kMonths[static_cast<unsigned>(local.tm_mon) % 12];
    // Whole days, truncated toward zero: a time in the future is "recent".
    const std::int64_t ageDays = (now - lastWriteTime) / kSecondsPerDay;
    if (ageDays > kListRecentDays)
        return StringFormat(" %s %02d %04d ", month, local.tm_mday, local.tm_year + 1900);
    return StringFormat(" %s %02d %02d:%02d ", month, local.tm_mday, local.tm_hour, local.tm_min);
}

std::string FormatListDate(const DirEntry& entry) {
    return FormatListDate(entry.lastWriteTime, NowSeconds());
}

std::string FormatListLine(const DirEntry& entry, std::int64_t now) {
    return LineFor(entry.isDirectory ? "drwx------" : "-rwx------",
                   entry.isDirectory ? 0 : entry.size, FormatListDate(entry.lastWriteTime, now),
                   entry.name);
}

std::string FormatFolderLine(const std::string& name, const DirEntry& dir, std::int64_t now) {
    return LineFor("drwx------", 0, FormatListDate(dir.lastWriteTime, now), name);
}

std::uint32_t ParseMlstFacts(std::string_view list) {
    std::uint32_t facts = 0;
    while (!list.empty()) {
        const auto semicolon = list.find(';');
        const std::string name(list.substr(0, semicolon));
        for (const FactName& known : kFactNames)
            if (EqualsNoCase(known.name, name)) facts |= known.fact;
        if (semicolon == std::string_view::npos) break;
        list.remove_prefix(semicolon + 1);
    }
    return facts;
}

std::string MlstFactNames(std::uint32_t facts) {
    std::string names;
    for (const FactName& known : kFactNames)
        if ((facts & known.fact) != 0) names += std::string(known.name) + ";";
    return names;
}

std::string MlstFeatureFacts(std::uint32_t facts) {
    std::string names;
    for (const FactName& known : kFactNames)
        names += std::string(known.name) + ((facts & known.fact) != 0 ? "*;" : ";");
    return names;
}

std::string FormatFacts(const char* type, const DirEntry& entry, const std::string& perm,
                        std::uint32_t facts) {
    std::string text;
    if ((facts & kFactType) != 0) text += StringFormat("type=%s;", type);
    if ((facts & kFactSize) != 0 && !entry.isDirectory)
        text += StringFormat("size=%lld;", static_cast<long long>(entry.size));
    if ((facts & kFactModify) != 0)
        text += "modify=" + FormatUtcTime(entry.lastWriteTime, "%Y%m%d%H%M%S") + ";";
    if ((facts & kFactPerm) != 0) text += "perm=" + perm + ";";
    if ((facts & kFactUnixMode) != 0) text += StringFormat("UNIX.mode=%04o;", entry.mode & 07777u);
    return text + " ";
}
