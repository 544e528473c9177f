// How the IP filter admits clients; the number is the one "option.ini" stores.
#pragma once

enum class FilterMode {
    Off = 0,           // everyone is admitted
    RefuseDenied = 1,  // a client matching a deny entry is refused
    AllowedOnly = 2    // only a client matching an allow entry is admitted
    // Any other stored number is kept as it is and refuses everyone.
};
