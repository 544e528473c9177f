#include "ui/InProcessSettingsAccess.h"

#include <algorithm>

#include "config/FilterMode.h"
#include "server/AdminOperations.h"
#include "server/FtpServer.h"
#include "server/LiveOptions.h"

std::unique_ptr<CSettingsAccess> MakeInProcessSettingsAccess(
    CFtpServer& server, std::vector<OptionMember> appliedByWindow) {
    return std::make_unique<CInProcessSettingsAccess>(server, std::move(appliedByWindow));
}

bool CInProcessSettingsAccess::AppliedByWindow(const OptionMember& member) const {
    return std::find(m_appliedByWindow.begin(), m_appliedByWindow.end(), member) !=
           m_appliedByWindow.end();
}

void CInProcessSettingsAccess::ReadOptions(std::function<void(const OptionsRead&)> done) {
    done({true, {}, COptions(m_server.ProgramDir()).Load()});
}

void CInProcessSettingsAccess::SaveOptions(const OptionValues& values,
                                           std::vector<OptionMember> members,
                                           std::function<void(const OptionsSaveResult&)> done) {
    OptionsSaveResult result;
    if (!CAdminOperations(m_server, AdminOrigin::Window).SaveOptions(values, members)) {
        result.error = "option.ini could not be written (see the log)";
        done(result);
        return;
    }
    ApplyLiveOptions(m_server, values, members);
    result.ok = true;
    for (const OptionMember& member : members)
        (TakesEffectLive(member) || AppliedByWindow(member) ? result.applied : result.nextStart)
            .push_back(member);
    done(result);
}

void CInProcessSettingsAccess::ReadIpFilter(std::function<void(const IpFilterRead&)> done) {
    IpFilterRead read;
    read.ok = true;
    // The stored mode, as the next start will take it.
    read.state.mode = COptions(m_server.ProgramDir()).ReadInt(&OptionValues::filterMode);
    read.state.allowText = m_server.Filter().GetList(CIpFilter::List::Allow);
    read.state.denyText = m_server.Filter().GetList(CIpFilter::List::Deny);
    done(read);
}

void CInProcessSettingsAccess::SaveIpFilter(const IpFilterState& state,
                                            std::function<void(const IpFilterSaveResult&)> done) {
    const std::string notSaved =
        CAdminOperations(m_server, AdminOrigin::Window)
            .ReplaceIpFilter(static_cast<FilterMode>(state.mode), state.allowText, state.denyText);
    done({true, QString::fromStdString(notSaved)});
}
