#include "app/ServiceUnit.h"

#include <string>

#include "platform/ProgramDir.h"

namespace {

// One argument of ExecStart: quoted, with the characters systemd would expand or end the
// quote at escaped.
std::optional<std::string> QuoteArgument(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\n' || c == '\r' || c == '\0') return std::nullopt;
        if (c == '\\' || c == '"') quoted += '\\';
        if (c == '%') quoted += '%';
        if (c == '$') quoted += '$';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

std::string UserUnitDir() {
    const std::string config = UserConfigDir();
    return config.empty() ? std::string() : config + "/systemd/user";
}

std::optional<std::string> ServiceUnitText(const std::string& serverPath,
                                           const std::string& programDir) {
    const std::optional<std::string> server = QuoteArgument(serverPath);
    const std::optional<std::string> dir = QuoteArgument(programDir);
    if (!server || !dir) return std::nullopt;
    return "[Unit]\n"
           "Description=Tarvona FTP Server (the FTP service without its window)\n"
           "After=network-online.target\n"
           // A server that cannot start (its port taken) gives up after three tries a
           // minute: RestartSec=5 puts them within it (systemd's default, 5 in 10 s, is
           // never reached with it).
           "StartLimitIntervalSec=60\n"
           "StartLimitBurst=3\n"
           "\n"
           "[Service]\n"
           // Started once its port accepts; fed from its main loop, so a hung one restarts.
           "Type=notify\n"
           "NotifyAccess=main\n"
           "WatchdogSec=30\n"
           "LimitNOFILE=65536\n"
           "ExecStart=" +
           *server + " --dir " + *dir +
           "\n"
           // `systemctl --user reload`: option.ini and the IP lists again, sessions kept.
           "ExecReload=/bin/kill -HUP $MAINPID\n"
           "Restart=on-failure\n"
           "RestartSec=5\n"
           "\n"
           "[Install]\n"
           "WantedBy=default.target\n";
}

std::string UserServiceOptions() {
    return "; Written by tarvona-service -i. Ports below 1024 need root or\n"
           "; CAP_NET_BIND_SERVICE, which a user service does not have.\n"
           "[Server]\n"
           "port=" +
           std::to_string(kUserServicePort) + "\n";
}
