// The reading behind HASH and the X* checksum commands: a byte range of an open file
// into a checksum, on the session's thread, in steps between which the session's loop
// runs (so ABOR and QUIT are seen at once) and held to the download speed limit.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Digest.h"

class CControlSocket;
class CDataFile;

struct HashJob {
    DigestKind kind = DigestKind::Sha256;
    std::int64_t begin = 0;  // first byte read
    std::int64_t end = 0;    // one past the last byte read
    std::int64_t rate = 0;   // bytes per second at most; 0: as fast as the disk goes
};

enum class HashOutcome {
    Done,           // `hex` holds the value
    Interrupted,    // ABOR, QUIT or BYE came; it waits in the session's queue
    SessionEnding,  // the connection or the server is going: no one to answer
    ReadFailed,     // the file could not be read, or shrank under the computation
};

// Lines received meanwhile are queued, as during a data wait, and run after it.
HashOutcome ComputeFileHash(CControlSocket& session, CDataFile& file, const HashJob& job,
                            std::string& hex);
