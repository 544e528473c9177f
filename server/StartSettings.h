// The settings the server controller takes from option.ini: once when the program opens,
// and again before every start. Shared by the window and the headless server.
#pragma once

#include "server/LoginGuard.h"

struct OptionValues;
class CFtpServer;

// Passive port range, passive address (unless "Auto" or not IsUsablePassiveIp), filter mode, the
// TLS certificate files and policy, and the abuse limits. Main thread.
void ApplyOpeningOptions(CFtpServer& server, const OptionValues& options);
// The [ACME] keys: the renewal's names, CA and port, and the issued certificate served
// when no [TLS] certificate is configured. Part of ApplyStartSettings. Main thread.
void ConfigureAcme(CFtpServer& server, const OptionValues& options);
// Port, maximum users, idle time-out, the greeting and farewell texts and the 5000 ms
// statistics interval, as the start sequence hands them over (a maximum below 1 is
// logged and replaced by the default), the [ACME] and the [Hooks] keys. Main thread.
void ApplyStartSettings(CFtpServer& server, const OptionValues& options);
// The abuse limits of the [Security] keys.
LoginPolicy LoginPolicyOf(const OptionValues& options);
