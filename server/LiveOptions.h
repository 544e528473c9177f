// Which option.ini keys the running server takes at once, and taking them: the window's
// own server and the administration API apply a saved option the same way, and tell
// the administrator the same keys wait for the next start.
#pragma once

#include <span>

#include "config/Options.h"

class CFtpServer;

// True for a key the running server takes without a restart.
bool TakesEffectLive(const OptionMember& member);
// Applies the live keys among `members` from `values`; the rest of the running settings
// stays as it is. Main thread.
void ApplyLiveOptions(CFtpServer& server, const OptionValues& values,
                      std::span<const OptionMember> members);
