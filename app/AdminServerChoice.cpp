#include "app/AdminServerChoice.h"

#include <iostream>

#include "api/KnownServers.h"
#include "api/TlsApiClient.h"
#include "platform/ProgramDir.h"
#include "platform/SecretInput.h"

namespace {

constexpr std::size_t kLongestPassword = 1024;

RemoteServerChoice g_choice;

// The fingerprint to pin for `server`: the remembered one, checked against what the
// server shows now, or (first contact) what it shows, remembered from now on.
std::string TrustedFingerprint(const std::string& url, const ServerUrl& server,
                               std::string& error) {
    const std::string key = ServerKey(server);
    const std::string known = KnownFingerprint(key, error);
    if (!error.empty()) return {};
    const std::string shown = FetchServerFingerprint(url, error);
    if (shown.empty()) return {};
    if (!known.empty()) {
        if (shown == known) return known;
        error = "the certificate of " + key + " has CHANGED: it now has the SHA-256 fingerprint " +
                shown + ", not " + known + " as remembered in " + KnownServersFile() +
                ". Refused: someone may be in the middle. If the server's certificate was "
                "replaced on purpose, remove its line there (or give --fingerprint).";
        return {};
    }
    if (!RememberFingerprint(key, shown, error)) return {};
    std::cerr << "tarvona-admin: first contact with " << key << "; its certificate (SHA-256 "
              << shown << ") is trusted from now on (" << KnownServersFile() << ")\n";
    return shown;
}

std::string AdminPassword(const std::string& url, std::string& error) {
    const std::string fromEnvironment = EnvironmentValue("TARVONA_ADMIN_PASSWORD");
    if (!fromEnvironment.empty()) return fromEnvironment;
    const auto typed = ReadSecretLine("Administrator password for " + url + ": ", kLongestPassword);
    if (!typed || typed->empty())
        error = "no password: set TARVONA_ADMIN_PASSWORD or type it when asked";
    return typed.value_or(std::string());
}

}  // namespace

void ChooseRemoteServer(RemoteServerChoice choice) { g_choice = std::move(choice); }

bool RemoteServerChosen() { return !g_choice.url.empty(); }

std::unique_ptr<CApiClient> ConnectRemoteServer(std::string& error) {
    ServerUrl server;
    if (!ParseServerUrl(g_choice.url, server, error)) return nullptr;
    std::string fingerprint = g_choice.fingerprint;
    if (fingerprint.empty()) {
        if (UserConfigDir().empty()) {
            error = "HOME is not set, so no certificate can be remembered; give --fingerprint";
            return nullptr;
        }
        fingerprint = TrustedFingerprint(g_choice.url, server, error);
        if (fingerprint.empty()) return nullptr;
    }
    const std::string password = AdminPassword(g_choice.url, error);
    if (password.empty()) return nullptr;
    return NewTlsApiClient(g_choice.url, fingerprint, password, error);
}
