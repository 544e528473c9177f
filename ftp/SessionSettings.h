// What the commands keep between the lines of one session: the data connection's
// settings, the TLS choices and the rest of the per-session command state. The session
// (server/ControlSocket) holds it and forgets parts of it when its data connection
// closes or TLS starts; the commands read and change it.
#pragma once

#include <cstdint>
#include <string>

#include "ftp/ZStream.h"
#include "platform/Digest.h"

// How the next data connection is made and where the next transfer starts (PORT or
// EPRT, PASV or EPSV, REST). Forgotten, in one assignment, when the data connection
// closes; a PASV or EPSV that replaces an unused one keeps the restart offset.
struct DataSettings {
    bool passive = false;
    std::string portAddress;  // the active-mode target; empty: none
    int portPort = -1;
    std::int64_t restartOffset = 0;
    // The local file of the running RETR, STOR or APPE, for its hook event.
    std::string transferFile;
};

// What AUTH, PBSZ and PROT chose for the session (RFC 4217).
struct TlsSettings {
    bool bufferSizeSet = false;  // PBSZ came after AUTH
    bool protectData = false;    // PROT P: data connections use TLS
    // The log has said that this client makes full handshakes on its data connections
    // (said once per session).
    bool fullHandshakeLogged = false;
};

// What the commands keep between lines, apart from user, state and directory.
struct SessionSettings {
    TlsSettings tls;
    DataSettings data;
    // After EPSV ALL the client uses EPSV only: PORT, PASV and EPRT are refused.
    bool epsvAll = false;
    // The last TYPE argument, shown by STAT only: transfers never depend on it.
    std::string typeShown = "ASCII";
    // The facts MLST and MLSD show (bits of MlstFact, ftp/ListFormat.h); OPTS MLST
    // chooses them.
    std::uint32_t mlstFacts = ~0u;
    // MODE Z: listings and transfers are deflated on the data connection at the level
    // OPTS MODE Z chose. A transfer reads both when it starts; they last until changed.
    bool deflate = false;
    int deflateLevel = kDefaultDeflateLevel;
    // RNFR's local path for the next RNTO (empty: none), and whether it names a file.
    std::string renameSource;
    bool renameIsFile = false;
    // The algorithm HASH uses (OPTS HASH chooses it).
    DigestKind hashKind = DigestKind::Sha256;
    // The byte range RANG set for the next HASH (first and last byte, both included);
    // that HASH forgets it, whatever its outcome.
    bool hashRangeSet = false;
    std::int64_t hashRangeFirst = 0;
    std::int64_t hashRangeLast = 0;
};
