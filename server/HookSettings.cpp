#include "server/HookSettings.h"

#include <algorithm>

#include "config/HookCommand.h"
#include "config/HookKeys.h"
#include "config/Options.h"
#include "platform/StringFormat.h"
#include "server/FtpServer.h"

namespace {

int Bounded(int value, int high, const char* key, std::vector<std::string>& problems) {
    const int taken = std::clamp(value, 1, high);
    if (taken != value)
        problems.push_back(StringFormat("Option %s is %d, not from 1 to %d; %d is used.", key,
                                        value, high, taken));
    return taken;
}

}  // namespace

HookSettings HookSettingsOf(const OptionValues& options, std::vector<std::string>& problems) {
    HookSettings settings;
    std::size_t index = 0;
    for (const HookKeyRow& row : HookKeyRows()) {
        HookAction& action = settings.actions[index++];
        const std::string key = "On" + std::string(row.event);
        std::string why;
        if (!SplitHookCommand(options.*row.program, action.argv, why))
            problems.push_back("Option " + key + " is not used: " + why + ".");
        const std::string& url = options.*row.url;
        if (IsHookUrl(url))
            action.url = url;
        else if (!url.empty())
            problems.push_back("Option " + key + "Url is not used: it is no https:// URL.");
    }
    settings.secret = options.hookSecret;
    settings.caFile = options.hookCaFile;
    settings.concurrency =
        Bounded(options.hookConcurrency, kMaxHookConcurrency, "Concurrency", problems);
    settings.timeout = std::chrono::seconds(
        Bounded(options.hookTimeout, kMaxHookTimeout, "ActionTimeout", problems));
    settings.queueSize = static_cast<std::size_t>(
        Bounded(options.hookQueueSize, kMaxHookQueueSize, "QueueSize", problems));
    return settings;
}

void ConfigureHooks(CFtpServer& server, const OptionValues& options) {
    std::vector<std::string> problems;
    server.Hooks().Configure(HookSettingsOf(options, problems));
    for (const std::string& problem : problems) server.LogMessage(LogCategory::Error, problem);
}
