// The names option.ini keys have in the administration API's JSON, shared by the
// options routes and the window's client of them.
#pragma once

#include <string>

#include "config/Options.h"

// A key's written name, with its section in front when an earlier section has a key of
// that name ([Admin] CertificateFile beside [TLS]'s).
std::string OptionJsonName(const OptionRow& row);
// The row whose JSON name is `name`; nullptr when none is.
const OptionRow* OptionRowNamed(const std::string& name);
// The row of `member`; nullptr when none is.
const OptionRow* OptionRowOf(const OptionMember& member);
