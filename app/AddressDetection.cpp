#include "app/AddressDetection.h"

#include "config/Options.h"
#include "server/FtpServer.h"

DetectionSettings ReadDetectionSettings(const std::string& programDir) {
    const OptionValues options = COptions(programDir).Load();
    DetectionSettings settings;
    settings.passiveAuto = IsAutoPassiveIp(options.passiveIp);
    settings.dnsEnable = options.dnsEnable;
    settings.dnsName = options.dnsName;
    settings.dnsPassword = options.dnsPassword;
    settings.lookupUrl = options.dnsLookupUrl;
    settings.updateUrl = options.dnsUpdateUrl;
    return settings;
}

std::unique_ptr<CAddressDetector> MakeAddressDetector(EventLoop& loop, CFtpServer& server,
                                                      DetectionTiming timing) {
    const std::string programDir = server.ProgramDir();
    return std::make_unique<CAddressDetector>(
        loop, [programDir] { return ReadDetectionSettings(programDir); },
        [&server](const std::string& address) { server.SetPassiveAddress(address); }, timing);
}
