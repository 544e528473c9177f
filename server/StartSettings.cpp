#include "server/StartSettings.h"

#include <cstdint>

#include "config/FilterMode.h"
#include "config/Options.h"
#include "server/FtpServer.h"

void ApplyOpeningOptions(CFtpServer& server, const OptionValues& options) {
    server.SetPassiveRange(static_cast<std::uint32_t>(options.minPort),
                           static_cast<std::uint32_t>(options.maxPort));
    if (!IsAutoPassiveIp(options.passiveIp)) server.SetPassiveAddress(options.passiveIp);
    server.SetFilterMode(static_cast<FilterMode>(options.filterMode));
    server.Tls().Configure(server.ProgramDir(), options.tlsCertificateFile, options.tlsKeyFile,
                           options.tlsPolicy);
    server.SetLoginPolicy(LoginPolicyOf(options));
}

LoginPolicy LoginPolicyOf(const OptionValues& options) {
    LoginPolicy policy;
    policy.banAttempts = options.banAttempts;
    policy.banWindowSeconds = options.banWindow;
    policy.banSeconds = options.banTime;
    policy.failDelayMs = options.failDelayMs;
    policy.maxPerAddress = options.maxPerAddress;
    policy.maxPerUser = options.maxPerUser;
    policy.loginTimeoutSeconds = options.loginTimeout;
    policy.maxNotLoggedIn = options.maxNotLoggedIn;
    policy.hashPasswords = options.hashPasswords == 1;
    return policy;
}

void ApplyStartSettings(CFtpServer& server, const OptionValues& options) {
    server.SetPort(options.port);
    server.SetMaxUsers(options.maxUsers);
    server.SetTimeout(options.timeoutMinutes);
    server.SetWelcomeMessage("Welcome to Tarvona FTP Server!");
    server.SetGoodbyeMessage("Good bye!");
    server.SetStatisticsInterval(5000);
}
