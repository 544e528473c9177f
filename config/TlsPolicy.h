// Whether clients must encrypt; the number is the one "option.ini" stores ([TLS] Policy).
#pragma once

enum class TlsPolicy {
    PlainAllowed = 0,          // AUTH TLS is offered; plain sessions work as before
    LoginRequired = 1,         // USER and PASS only on an encrypted control connection
    LoginAndDataRequired = 2,  // and every data connection under PROT P
    // Any other stored number is kept as it is and acts as LoginAndDataRequired.
};

inline TlsPolicy TlsPolicyOf(int stored) {
    if (stored == 0) return TlsPolicy::PlainAllowed;
    if (stored == 1) return TlsPolicy::LoginRequired;
    return TlsPolicy::LoginAndDataRequired;
}
