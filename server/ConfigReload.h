// Taking option.ini and both IP lists again while the server runs (SIGHUP, the
// administration API): no session is closed; new values serve new connections and the
// next commands. Everything is read and checked first, so a file with a fault changes
// nothing; then each changed key is applied and logged on its own line.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "config/Options.h"

class CFtpServer;

struct ReloadOutcome {
    // False when a file could not be read or holds a fault: nothing was changed.
    bool taken = false;
    std::vector<std::string> changes;   // one line per changed key or list, as logged
    std::vector<std::string> problems;  // what was refused or kept, and why, as logged
};

// The rows whose values differ between two readings, in the file's order.
std::vector<const OptionRow*> ChangedOptionRows(const OptionValues& before,
                                                const OptionValues& after);
// "Option maxusers changed from 20 to 5.": text values quoted, a secret's never shown.
std::string DescribeOptionChange(const OptionRow& row, const OptionValues& before,
                                 const OptionValues& after);

class CConfigReloader {
public:
    // `running`: the options the server was set up with. Main thread.
    CConfigReloader(CFtpServer& server, OptionValues running)
        : m_server(server), m_running(std::move(running)) {}

    // The port was given on the command line: it stays, whatever Port says.
    void KeepCommandLinePort(bool keep) { m_portFromCommandLine = keep; }
    // Called after a reload that changed what address detection reads (PassiveIP, [DNS]):
    // the detection lives above the server.
    void SetAddressSettingsChanged(std::function<void()> callback) {
        m_addressSettingsChanged = std::move(callback);
    }

    // Gives one message per program file another local user may change; a reload then
    // changes nothing, as such files stop a start. The check lives above the server.
    void SetExposureCheck(std::function<std::vector<std::string>()> check) {
        m_exposureCheck = std::move(check);
    }

    // Reads option.ini and the IP lists and applies what changed. `cause` ends the first
    // log line ("on SIGHUP", "by the administrator (control socket)"). A service manager
    // is told of the reload's start and end. Main thread.
    ReloadOutcome Reload(const std::string& cause);
    // Another front end (PUT /api/v1/options) has written and applied `members` of
    // `values`: the next reload compares with them. Main thread.
    void NoteApplied(const OptionValues& values, std::span<const OptionMember> members);

private:
    ReloadOutcome ReadAndApply(const std::string& cause);
    // Everything a reload takes, read and checked before anything changes.
    bool ReadFiles(OptionValues& options, std::string& allow, std::string& deny,
                   std::string& error) const;
    // Each puts back into `next` what it refused, so the next reload tries it again.
    void ApplyPort(OptionValues& next, ReloadOutcome& outcome);
    void ApplyImplicitPort(OptionValues& next, ReloadOutcome& outcome);
    void ApplyServerKeys(OptionValues& next, ReloadOutcome& outcome);
    void KeepUnusableValues(OptionValues& next, ReloadOutcome& outcome) const;
    void ApplyLists(const OptionValues& next, const std::string& allow, const std::string& deny,
                    ReloadOutcome& outcome);
    void Report(const ReloadOutcome& outcome);

    CFtpServer& m_server;
    OptionValues m_running;
    bool m_portFromCommandLine = false;
    std::function<void()> m_addressSettingsChanged;
    std::function<std::vector<std::string>()> m_exposureCheck;
};
