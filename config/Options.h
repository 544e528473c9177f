// The options file "option.ini" of the program directory: every key with its section,
// spellings and default, read all at once or one at a time, written one key at a time.
//
// [Server]  port(21) maxusers(20) timeout(10, minutes) MinPort(1024) MaxPort(65535)
//           PassiveIP("") FilterMode(0) Startup(0) AutoActive(0) Minimize(0) Savelog(0)
//           defaultdir("")
// [DNS]     Enable(0) Name("") Password("")               never written by the program
// [DEFAULT] USER("") PASS("")                             credentials of the last FTP URL
// Keys are written under the spellings "Port" and "startup"; names match in any case, so
// both spellings find the same line.
//
// NOTE: the program-directory entry of the settings store (QSettings of organisation
// "Vondrel Software", group "Program", key "Path", value the program directory with its
// trailing "/", written every time the window opens) belongs to the window, not here.
#pragma once
#include <string>
#include <string_view>

#include "config/IniFile.h"

enum class OptionKey {
    Port, MaxUsers, Timeout, MinPort, MaxPort, PassiveIp, FilterMode, Startup, AutoActive,
    Minimize, SaveLog, DefaultDir,
    DnsEnable, DnsName, DnsPassword,
    DefaultUser, DefaultPass,
};

// Every option as read; ints are kept as stored (a FilterMode of 3 stays 3).
struct OptionValues {
    int port = 21;
    int maxUsers = 20;
    int timeoutMinutes = 10;
    int minPort = 1024;
    int maxPort = 65535;
    std::string passiveIp;  // "Auto" in any letter case: announce the detected public address
    int filterMode = 0;     // 0 none, 1 refuse the deny list, 2 admit only the allow list
    int startup = 0;        // 1: autostart entry present; any other value: removed
    int autoActive = 0;
    int minimize = 0;
    int saveLog = 0;
    std::string defaultDir;
    int dnsEnable = 0;
    std::string dnsName;
    std::string dnsPassword;
    std::string defaultUser;
    std::string defaultPass;
};

class COptions {
public:
    // `programDir` ends with "/"; the file is programDir + "option.ini".
    explicit COptions(const std::string& programDir);

    // All keys from one reading of the file. A missing or unreadable file gives every
    // default; this never fails. Safe from any thread.
    OptionValues Load() const;

    // One key, read from the file now. Text keys are cut to 255 bytes. Safe from any thread.
    int ReadInt(OptionKey key) const;
    std::string ReadText(OptionKey key) const;

    // One key, written now under its written spelling; every other line stays. False when
    // the key's type does not match or the file cannot be written (GetLastError says why).
    // Call from one thread per object.
    [[nodiscard]] bool WriteInt(OptionKey key, int value);
    [[nodiscard]] bool WriteText(OptionKey key, std::string_view value);

    const std::string& GetLastError() const { return m_lastError; }
    const std::string& FilePath() const { return m_file.Path(); }

private:
    bool Fail(std::string why);

    CIniFile m_file;
    std::string m_lastError;
};

// True when a "PassiveIP" value asks for the detected public address ("Auto", any case).
bool IsAutoPassiveIp(std::string_view passiveIp);
