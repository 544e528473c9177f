#include "ftp/ListFormat.h"

#include "platform/Clock.h"
#include "platform/StringFormat.h"

namespace {

constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

constexpr std::int64_t kSecondsPerDay = 86400;

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
    return LineFor(entry.isDirectory ? "drwx------" : "-rwx------", entry.isDirectory ? 0 : entry.size,
                   FormatListDate(entry.lastWriteTime, now), entry.name);
}

std::string FormatFolderLine(const std::string& name, const DirEntry& dir, std::int64_t now) {
    return LineFor("drwx------", 0, FormatListDate(dir.lastWriteTime, now), name);
}

std::string FormatFacts(const char* type, const DirEntry& entry, const std::string& perm) {
    std::string facts = StringFormat("type=%s;", type);
    if (!entry.isDirectory) facts += StringFormat("size=%lld;", static_cast<long long>(entry.size));
    facts += "modify=" + FormatUtcTime(entry.lastWriteTime, "%Y%m%d%H%M%S") + ";";
    facts += StringFormat("perm=%s;UNIX.mode=%04o; ", perm.c_str(), entry.mode & 07777u);
    return facts;
}
