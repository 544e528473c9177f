#include "server/StartSettings.h"

#include <cstdint>

#include "acme/CertificateInfo.h"
#include "config/FilterMode.h"
#include "config/OptionChecks.h"
#include "config/Options.h"
#include "platform/StringFormat.h"
#include "server/CertificateRenewal.h"
#include "server/FtpServer.h"
#include "server/HookSettings.h"

void ApplyOpeningOptions(CFtpServer& server, const OptionValues& options) {
    server.SetPassiveRange(static_cast<std::uint32_t>(options.minPort),
                           static_cast<std::uint32_t>(options.maxPort));
    // SECURITY: the value goes into the 227 reply as it stands; a malformed one
    // (CServerStartup says so in the log) would forge the reply.
    if (!IsAutoPassiveIp(options.passiveIp) && IsUsablePassiveIp(options.passiveIp))
        server.SetPassiveAddress(options.passiveIp);
    server.SetFilterMode(static_cast<FilterMode>(options.filterMode));
    server.Tls().Configure(server.ProgramDir(), options.tlsCertificateFile, options.tlsKeyFile,
                           options.tlsPolicy);
    // Only 0 turns the resumption requirement off; anything else keeps it.
    server.SetTlsRequireReuse(options.tlsRequireReuse != 0);
    server.SetMaxHashMiB(options.maxHashMiB);
    server.SetLoginPolicy(LoginPolicyOf(options));
}

void ConfigureAcme(CFtpServer& server, const OptionValues& options) {
    RenewalSettings settings;
    settings.names = SplitDomainList(options.acmeDomains);
    settings.directoryUrl = options.acmeDirectory;
    settings.caFile =
        options.acmeDirectoryCaFile.empty() || options.acmeDirectoryCaFile.front() == '/'
            ? options.acmeDirectoryCaFile
            : server.ProgramDir() + options.acmeDirectoryCaFile;
    settings.email = options.acmeEmail;
    settings.httpPort = options.acmeHttpPort;
    // A configured [TLS] certificate stays what clients get; the issued one replaces only
    // the generated pair.
    const bool served = !settings.names.empty() && options.tlsCertificateFile.empty();
    server.Tls().SetIssuedCertificate(served ? server.ProgramDir() + kAcmeCertificateName : "");
    server.Renewal().Configure(std::move(settings));
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

namespace {

// A limit below one would refuse every client without a word.
int UserLimitOf(CFtpServer& server, const OptionValues& options) {
    if (options.maxUsers >= 1) return options.maxUsers;
    const int fallback = OptionValues{}.maxUsers;
    server.LogMessage(LogCategory::Error,
                      StringFormat("The option maxusers is not a number from 1 up (read as %d); "
                                   "the default of %d users is used.",
                                   options.maxUsers, fallback));
    return fallback;
}

}  // namespace

void ApplyStartSettings(CFtpServer& server, const OptionValues& options) {
    server.SetPort(options.port);
    server.SetImplicitTlsPort(options.tlsImplicitPort);
    server.SetMaxUsers(UserLimitOf(server, options));
    server.SetTimeout(options.timeoutMinutes);
    server.SetWelcomeMessage("Welcome to Tarvona FTP Server!");
    server.SetGoodbyeMessage("Good bye!");
    server.SetStatisticsInterval(5000);
    server.Audit().SetEnabled(options.logJson == 1);
    ConfigureAcme(server, options);
    ConfigureHooks(server, options);
}
