// The settings of the server inside this process: read and written as the window always
// did (option.ini and the list files of the program directory, the administrator's
// operations for the log lines), answering before each call returns.
#pragma once

#include "ui/SettingsAccess.h"

class CInProcessSettingsAccess : public CSettingsAccess {
public:
    CInProcessSettingsAccess(CFtpServer& server, std::vector<OptionMember> appliedByWindow)
        : m_server(server), m_appliedByWindow(std::move(appliedByWindow)) {}

    void ReadOptions(std::function<void(const OptionsRead&)> done) override;
    void SaveOptions(const OptionValues& values, std::vector<OptionMember> members,
                     std::function<void(const OptionsSaveResult&)> done) override;
    void ReadIpFilter(std::function<void(const IpFilterRead&)> done) override;
    void SaveIpFilter(const IpFilterState& state,
                      std::function<void(const IpFilterSaveResult&)> done) override;

private:
    bool AppliedByWindow(const OptionMember& member) const;

    CFtpServer& m_server;
    const std::vector<OptionMember> m_appliedByWindow;
};
