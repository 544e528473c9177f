#include "server/LiveOptions.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <iterator>

#include "config/FilterMode.h"
#include "server/FtpServer.h"
#include "server/HookSettings.h"
#include "server/StartSettings.h"

namespace {

using V = OptionValues;

const OptionMember kLive[] = {
    &V::maxUsers,    &V::timeoutMinutes, &V::minPort,        &V::maxPort,       &V::filterMode,
    &V::banAttempts, &V::banWindow,      &V::banTime,        &V::failDelayMs,   &V::maxPerAddress,
    &V::maxPerUser,  &V::loginTimeout,   &V::maxNotLoggedIn, &V::hashPasswords, &V::tlsRequireReuse,
    &V::logJson,     &V::maxHashMiB};

bool Written(std::span<const OptionMember> members, std::initializer_list<OptionMember> any) {
    return std::any_of(any.begin(), any.end(), [&](const OptionMember& m) {
        return std::find(members.begin(), members.end(), m) != members.end();
    });
}

bool IsHookKey(const OptionMember& member) {
    const auto rows = OptionRows();
    return std::any_of(rows.begin(), rows.end(), [&member](const OptionRow& row) {
        return row.section == "Hooks" && row.member == member;
    });
}

}  // namespace

bool TakesEffectLive(const OptionMember& member) {
    return IsHookKey(member) ||
           std::find(std::begin(kLive), std::end(kLive), member) != std::end(kLive);
}

void ApplyLiveOptions(CFtpServer& server, const OptionValues& values,
                      std::span<const OptionMember> members) {
    if (Written(members, {&V::maxUsers})) server.SetMaxUsers(values.maxUsers);
    if (Written(members, {&V::timeoutMinutes})) server.SetTimeout(values.timeoutMinutes);
    if (Written(members, {&V::minPort, &V::maxPort}))
        server.SetPassiveRange(static_cast<std::uint32_t>(values.minPort),
                               static_cast<std::uint32_t>(values.maxPort));
    if (Written(members, {&V::filterMode}))
        server.SetFilterMode(static_cast<FilterMode>(values.filterMode));
    if (Written(members,
                {&V::banAttempts, &V::banWindow, &V::banTime, &V::failDelayMs, &V::maxPerAddress,
                 &V::maxPerUser, &V::loginTimeout, &V::maxNotLoggedIn, &V::hashPasswords}))
        server.SetLoginPolicy(LoginPolicyOf(values));
    if (Written(members, {&V::tlsRequireReuse}))
        server.SetTlsRequireReuse(values.tlsRequireReuse != 0);
    if (Written(members, {&V::logJson})) server.Audit().SetEnabled(values.logJson == 1);
    if (Written(members, {&V::maxHashMiB})) server.SetMaxHashMiB(values.maxHashMiB);
    if (std::any_of(members.begin(), members.end(), IsHookKey)) ConfigureHooks(server, values);
}
