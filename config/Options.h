// The options file "option.ini" of the program directory: every key with its section,
// spellings and default, read all at once or one at a time, written one key at a time
// or all at once.
//
// An option is one member of OptionValues (whose initialiser is its default) and one row
// of OptionRows() (section, the spelling read, the spelling written, the member). Names
// match in any letter case, so a key written as "Port" is found as "port" as well. The
// [DNS] keys (the account and the addresses of its two services) are never written by
// the program; [TLS] and [Admin] relative file names are taken from the program directory;
// [DEFAULT] keeps the credentials of the last FTP URL.
//
// NOTE: the program-directory entry of the settings store (QSettings of organisation
// "Vondrel Software", group "Program", key "Path", value the program directory with its
// trailing "/", written every time the window opens) belongs to the window, not here.
#pragma once
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "config/IniFile.h"

// Every option as read; ints are kept as stored (a FilterMode of 3 stays 3).
struct OptionValues {
    int port = 21;
    int maxUsers = 20;
    int timeoutMinutes = 10;
    int minPort = 1024;
    int maxPort = 65535;
    std::string passiveIp;  // "Auto" in any letter case: announce the detected public address
    int filterMode = 0;     // a FilterMode (config/FilterMode.h), kept as stored
    int startup = 0;        // 1: autostart entry present; any other value: removed
    int autoActive = 0;
    int minimize = 0;
    int saveLog = 0;
    // [Security]: abuse limits (seconds unless named otherwise; 0 switches a limit off).
    int banAttempts = 5;       // failed logins from one address that ban it
    int banWindow = 600;       // ... within this many seconds
    int banTime = 3600;        // first ban's length; doubles for each repeat offence
    int failDelayMs = 1000;    // a refused PASS is answered this many ms later
    int maxPerAddress = 10;    // sessions one client address may hold
    int maxPerUser = 0;        // logged-in sessions of one account
    int loginTimeout = 60;     // a session that has not logged in by then is closed
    int maxNotLoggedIn = 100;  // sessions not logged in, from all addresses together
    int hashPasswords = 0;     // 1: saved passwords are hashed; clear ones at next login
    int maxHashMiB = 4096;     // bytes one checksum command may read, in MiB
    std::string defaultDir;
    int dnsEnable = 0;
    std::string dnsName;
    std::string dnsPassword;
    std::string dnsLookupUrl;  // the whole URL of the address-echo page; empty: never asked
    std::string dnsUpdateUrl;  // the base placed before "updateurl2.php"; empty: no update
    std::string defaultUser;
    std::string defaultPass;
    int tlsPolicy = 0;               // a TlsPolicy (config/TlsPolicy.h), kept as stored
    std::string tlsCertificateFile;  // PEM, chain allowed; empty: the generated one
    std::string tlsKeyFile;          // PEM; empty: the certificate file's own key file
    int tlsImplicitPort = 0;         // a port serving TLS from the first byte; 0: none
    int tlsRequireReuse = 1;         // 0: a PROT P data connection may do a full handshake instead
    // [ACME]: a certificate from a CA (RFC 8555) for these names, renewed by the server.
    std::string acmeDomains;          // names separated by commas or spaces; empty: ACME is off
    std::string acmeDirectory;        // the CA's directory URL (https)
    std::string acmeEmail;            // the account's contact; empty: none
    int acmeHttpPort = 80;            // the HTTP-01 challenge listener's port
    std::string acmeDirectoryCaFile;  // PEM CA file for the directory's HTTPS; empty: system's
    // [Admin]: the administration API's TLS listener.
    std::string adminListen;           // "ADDRESS:PORT[,...]" ("[::1]:14148"); empty: off
    std::string adminCertificateFile;  // PEM; empty: the [TLS] certificate and key
    std::string adminKeyFile;          // PEM; empty: the certificate file's own key
    std::string adminPasswordHash;     // yescrypt of the password of the user "admin"
    int adminTokenMinutes = 60;        // a sign-in token's lifetime
    // A bearer token that opens GET /metrics on the listener and nothing else; empty: none.
    std::string adminMetricsToken;
    // "ADDRESS:PORT[,...]" of loopback addresses serving GET /metrics in plain HTTP without
    // a token (and nothing else); empty: none.
    std::string adminMetricsListen;
    // [Log]: 1 writes the audit log in JSON lines beside the daily log.
    int logJson = 0;
    // [Hooks]: what runs when something happens (server/HookDispatcher). Per event, a
    // program line (split as config/HookCommand.h says) and an https URL that is POSTed to.
    std::string hookOnUploadComplete;
    std::string hookOnUploadCompleteUrl;
    std::string hookOnUploadFailed;
    std::string hookOnUploadFailedUrl;
    std::string hookOnDownloadComplete;
    std::string hookOnDownloadCompleteUrl;
    std::string hookOnDelete;
    std::string hookOnDeleteUrl;
    std::string hookOnRename;
    std::string hookOnRenameUrl;
    std::string hookOnMakeDir;
    std::string hookOnMakeDirUrl;
    std::string hookOnRemoveDir;
    std::string hookOnRemoveDirUrl;
    std::string hookOnLogin;
    std::string hookOnLoginUrl;
    std::string hookOnLoginFailed;
    std::string hookOnLoginFailedUrl;
    std::string hookOnBan;
    std::string hookOnBanUrl;
    std::string hookOnQuotaExceeded;
    std::string hookOnQuotaExceededUrl;
    std::string hookOnServerStart;
    std::string hookOnServerStartUrl;
    std::string hookOnServerStop;
    std::string hookOnServerStopUrl;
    std::string hookSecret;   // the key of the URL actions' HMAC-SHA256 signature; empty: unsigned
    std::string hookCaFile;   // PEM roots for the URL actions' HTTPS; empty: the system's
    int hookConcurrency = 4;  // actions running at once
    int hookTimeout = 30;     // seconds an action may take; a program is killed after it
    int hookQueueSize = 100;  // events waiting beyond it are dropped (counted and logged)
};

using IntOption = int OptionValues::*;
using TextOption = std::string OptionValues::*;
using OptionMember = std::variant<IntOption, TextOption>;

struct OptionRow {
    std::string_view section;
    std::string_view readName;
    std::string_view writeName;
    OptionMember member;
};

// One row per option, in the order of the file's sections.
std::span<const OptionRow> OptionRows();
// Every option at its default. Whatever else has a default that an option sets (the
// login guard's limits, for one) takes it from here, so it is written once. Any thread.
const OptionValues& DefaultOptions();

class COptions {
public:
    // `programDir` ends with "/"; the file is programDir + "option.ini".
    explicit COptions(const std::string& programDir);

    // All keys from one reading of the file. A missing or unreadable file gives every
    // default; this never fails. Safe from any thread.
    OptionValues Load() const;
    // Load for a running server taking the file again, where a typo must not quietly
    // become a setting: false, with `error` naming the line, when the file exists but
    // cannot be read, holds a line that is no section header, key line, comment or
    // blank, or a number key whose value is not a whole number. `values` is then
    // untouched. A missing file gives every default. Safe from any thread.
    [[nodiscard]] bool LoadChecked(OptionValues& values, std::string& error) const;
    // Every key, in one replacement of the file, under its written spelling; other lines
    // stay. False when the file cannot be written (GetLastError says why).
    [[nodiscard]] bool Save(const OptionValues& values);
    // The keys of `members` only, in that order, in one replacement of the file; the same
    // rules as Save.
    [[nodiscard]] bool SaveKeys(const OptionValues& values, std::span<const OptionMember> members);

    // One key, read from the file now. Text keys are cut to 255 bytes. Safe from any thread.
    int ReadInt(IntOption option) const;
    std::string ReadText(TextOption option) const;

    // One key, written now under its written spelling; every other line stays. False when
    // the file cannot be written (GetLastError says why). Call from one thread per object.
    [[nodiscard]] bool WriteInt(IntOption option, int value);
    [[nodiscard]] bool WriteText(TextOption option, std::string_view value);

    const std::string& GetLastError() const { return m_lastError; }
    const std::string& FilePath() const { return m_file.Path(); }

private:
    bool Fail(std::string why);

    CIniFile m_file;
    std::string m_lastError;
};

// The text a key's value is shown and written as.
std::string OptionValueText(const OptionValues& values, const OptionMember& member);
// The value as a log line shows it: a text quoted, its control characters replaced.
std::string OptionValueShown(const OptionValues& values, const OptionMember& member);
// The keys whose values are never shown or logged (stored passwords, the password hash and
// the hooks' signing secret).
bool IsSecretOption(const OptionMember& member);
// Whether `a` and `b` hold the same value for the key `member`.
bool SameOptionValue(const OptionValues& a, const OptionValues& b, const OptionMember& member);
// Sets the key `member` of `to` to its value in `from`.
void CopyOptionValue(const OptionValues& from, OptionValues& to, const OptionMember& member);

// True when a "PassiveIP" value asks for the detected public address ("Auto", any case).
bool IsAutoPassiveIp(std::string_view passiveIp);
// True for the "PassiveIP" values the PASV reply may carry: empty (the address the client
// connected to), "Auto", or a dotted IPv4 unicast address.
bool IsUsablePassiveIp(std::string_view passiveIp);
