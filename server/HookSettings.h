// The [Hooks] keys as the dispatcher uses them: per event a program (split into its
// arguments) and a URL, and the bounds.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "server/HookEvent.h"

struct OptionValues;
class CFtpServer;

struct HookAction {
    std::vector<std::string> argv;  // empty: no program
    std::string url;                // empty: no POST
    bool IsEmpty() const { return argv.empty() && url.empty(); }
};

struct HookSettings {
    std::array<HookAction, kHookEventKinds> actions;  // by HookEventKind
    std::string secret;  // signs the URL actions' bodies; empty: no signature header
    std::string caFile;  // PEM roots for the URL actions; empty: the system's
    int concurrency = 4;
    std::chrono::seconds timeout{30};
    std::size_t queueSize = 100;
};

// The settings of `options`. A program line or URL that cannot be used leaves that
// action out and adds a line naming the key to `problems`; a bound out of its range is
// taken as its nearest allowed value, with a line too.
HookSettings HookSettingsOf(const OptionValues& options, std::vector<std::string>& problems);

// Hands the [Hooks] keys of `options` to the server's dispatcher and logs each problem
// (HookSettingsOf). Part of ApplyStartSettings and of a reload. Main thread.
void ConfigureHooks(CFtpServer& server, const OptionValues& options);
