// What the Options page and the IP filter dialog read and write, whether the server runs
// in this process or is reached through the administration API: neither knows which.
// Every call answers through its callback on the GUI thread, once; the in-process one
// may answer before the call returns. Nothing is called back after the access is gone.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "config/Options.h"

class CAdminConnection;
class CFtpServer;

// A save refused because another writer changed the same keys since they were read.
inline constexpr const char* kChangedBySomeoneElse = "changed by someone else; reload?";

struct OptionsRead {
    bool ok = false;
    QString error;  // why not, when !ok
    OptionValues values;
};

struct OptionsSaveResult {
    bool ok = false;
    QString error;                        // why nothing was saved, when !ok
    bool stale = false;                   // !ok because of another writer: reading again would help
    std::vector<OptionMember> applied;    // in force now
    std::vector<OptionMember> nextStart;  // saved, in force at the next start
};

struct IpFilterState {
    int mode = 0;  // a FilterMode
    std::string allowText;
    std::string denyText;
};

struct IpFilterRead {
    bool ok = false;
    QString error;
    IpFilterState state;
};

struct IpFilterSaveResult {
    bool inForce = false;  // false: nothing changed, `error` says why
    QString error;         // with inForce: why the next start would not have it
};

class CSettingsAccess {
public:
    virtual ~CSettingsAccess() = default;

    virtual void ReadOptions(std::function<void(const OptionsRead&)> done) = 0;
    // Writes the keys `members` of `values`, which were edited from the values last read.
    virtual void SaveOptions(const OptionValues& values, std::vector<OptionMember> members,
                             std::function<void(const OptionsSaveResult&)> done) = 0;
    virtual void ReadIpFilter(std::function<void(const IpFilterRead&)> done) = 0;
    virtual void SaveIpFilter(const IpFilterState& state,
                              std::function<void(const IpFilterSaveResult&)> done) = 0;
};

// The window's own server: its controller, option.ini and the list files of its program
// directory. `appliedByWindow` are keys the window puts in force itself when a save
// succeeds (the log saving): reported as applied. `server` outlives the access.
std::unique_ptr<CSettingsAccess> MakeInProcessSettingsAccess(
    CFtpServer& server, std::vector<OptionMember> appliedByWindow = {});
// A running server through its administration API; `connection` outlives the access.
std::unique_ptr<CSettingsAccess> MakeApiSettingsAccess(CAdminConnection& connection);
