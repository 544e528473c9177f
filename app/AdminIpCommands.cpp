// tarvona-admin ip list|add|del allow|deny [ENTRY]: the IP lists "acceptip.txt" and
// "rejectip.txt" of the program directory. A server reads them when it starts.
#include <ostream>
#include <string>
#include <vector>

#include "app/AdminAccountCommands.h"
#include "app/AdminArgs.h"
#include "config/IpFilter.h"
#include "platform/Text.h"

namespace {

constexpr char kIpUsage[] =
    "usage: tarvona-admin ip list allow|deny\n"
    "       tarvona-admin ip add|del allow|deny ENTRY\n"
    "ENTRY: 10.0.0.1, 192.168.*.*, 10.0.0.0/8, 2001:db8::1 or 2001:db8::/32";

int ChangeList(const std::string& programDir, CIpFilter::List list, const std::string& verb,
               const std::string& entry, std::ostream& err) {
    if (!IsValidIpListEntry(entry))
        return Report(err, kExitBadArguments,
                      "not an address, \"*\" form or range: \"" + entry + "\"");
    CIpFilter filter;
    if (!filter.LoadList(programDir, list)) return Report(err, kExitRefused, filter.GetLastError());
    std::vector<std::string> entries = CIpFilter::SplitEntries(filter.GetList(list));
    const auto before = entries.size();
    if (verb == "add") {
        if (CIpFilter::ContainsEntry(filter.GetList(list), entry))
            return Report(err, kExitRefused, "\"" + entry + "\" is on the list already");
        entries.push_back(entry);
    } else {
        std::erase_if(entries, [&](const std::string& e) { return EqualsNoCase(e, entry); });
        if (entries.size() == before)
            return Report(err, kExitRefused, "\"" + entry + "\" is not on the list");
    }
    filter.SetList(list, CIpFilter::JoinEntries(entries));
    if (!filter.SaveList(programDir, list)) return Report(err, kExitRefused, filter.GetLastError());
    return kExitDone;
}

}  // namespace

int RunIpCommand(const std::string& programDir, const std::vector<std::string>& args,
                 std::ostream& out, std::ostream& err) {
    if (args.size() < 2 || (args[1] != "allow" && args[1] != "deny"))
        return Report(err, kExitBadArguments, kIpUsage);
    const auto list = args[1] == "allow" ? CIpFilter::List::Allow : CIpFilter::List::Deny;
    if (args[0] == "list" && args.size() == 2) {
        CIpFilter filter;
        if (!filter.LoadList(programDir, list))
            return Report(err, kExitRefused, filter.GetLastError());
        for (const std::string& entry : CIpFilter::SplitEntries(filter.GetList(list)))
            out << entry << '\n';
        return kExitDone;
    }
    if ((args[0] == "add" || args[0] == "del") && args.size() == 3)
        return ChangeList(programDir, list, args[0], args[2], err);
    return Report(err, kExitBadArguments, kIpUsage);
}
