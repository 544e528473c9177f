// HASH, RANG, OPTS HASH and the older XCRC, XMD5, XSHA1, XSHA256 and XSHA512: checksums
// of a file or of a byte range of it, so a client can verify a transfer without
// downloading the file again.
#include <charconv>
#include <cinttypes>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "accounts/AccountStore.h"
#include "ftp/Commands.h"
#include "ftp/FileHash.h"
#include "ftp/PathResolver.h"
#include "ftp/ResolveReplies.h"
#include "platform/DataFile.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "server/ControlSocket.h"
#include "server/FtpServer.h"

namespace {

constexpr DigestKind kAdvertised[] = {DigestKind::Sha256, DigestKind::Sha512, DigestKind::Sha1,
                                      DigestKind::Md5, DigestKind::Crc32};

// What the client asked for: a range (`end` one past its last byte) or the whole file.
struct HashRequest {
    std::string path;
    DigestKind kind = DigestKind::Sha256;
    std::optional<std::int64_t> begin;
    std::optional<std::int64_t> end;
};

// Decimal digits only, within 64 bits: a sign, a blank or a hexadecimal prefix is no
// offset.
std::optional<std::int64_t> ParseOffset(std::string_view text) {
    std::int64_t value = 0;
    if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
    const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || stop != text.data() + text.size()) return std::nullopt;
    return value;
}

// "path [start [end]]", the path in double quotes when it ends in a blank and digits.
bool ParseLegacyArgument(const std::string& argument, HashRequest& request) {
    std::string_view rest = argument;
    if (rest.starts_with('"')) {
        const auto close = rest.find('"', 1);
        if (close == std::string_view::npos) return false;
        request.path = std::string(rest.substr(1, close - 1));
        rest = TrimBlanks(rest.substr(close + 1));
    } else {
        std::optional<std::int64_t> numbers[2];
        int found = 0;
        for (; found < 2; ++found) {
            const auto blank = rest.rfind(' ');
            if (blank == std::string_view::npos) break;
            numbers[found] = ParseOffset(rest.substr(blank + 1));
            if (!numbers[found]) break;
            rest = rest.substr(0, blank);
        }
        request.path = std::string(rest);
        // Taken from the right: the last number found is the start.
        if (found == 1) request.begin = numbers[0];
        if (found == 2) {
            request.begin = numbers[1];
            request.end = numbers[0];
        }
        return !request.path.empty();
    }
    if (rest.empty()) return !request.path.empty();
    const auto blank = rest.find(' ');
    request.begin = ParseOffset(rest.substr(0, blank));
    if (!request.begin) return false;
    if (blank == std::string_view::npos) return !request.path.empty();
    request.end = ParseOffset(TrimBlanks(rest.substr(blank + 1)));
    return request.end.has_value() && !request.path.empty();
}

// The checked path's file, open. False with the reply out.
bool OpenHashedFile(CControlSocket& session, const std::string& path, CDataFile& file) {
    std::string local;
    const PathResolution resolved = ResolveFilePath(session, path, PermissionKind::Read, local);
    if (ReplyIfAccountBusy(session, resolved.account)) return false;
    if (resolved.verdict == PathVerdict::Denied) {
        session.SendReply("550 No permission.");
        return false;
    }
    if (resolved.verdict != PathVerdict::Found || GetPathKind(local) == PathKind::Missing) {
        session.SendReply("550 File not found.");
        return false;
    }
    // SECURITY: a pipe or device would never end; OpenRead refuses one without blocking
    // should it replace the file after this look.
    if (!IsRegularFile(local) || !file.OpenRead(local)) {
        session.SendReply("550 Not a regular file.");
        return false;
    }
    return true;
}

// The range to read, within the file and the size limit. False with the reply out.
bool DecideRange(CControlSocket& session, const HashRequest& request, std::int64_t size,
                 HashJob& job) {
    job.begin = request.begin.value_or(0);
    // An end past the file reads to its end; the reply says which bytes were read.
    job.end = std::min(request.end.value_or(size), size);
    if (job.begin > size) {
        session.SendReply("554 The range starts past the end of the file (%" PRId64 " bytes).",
                          size);
        return false;
    }
    if (job.end < job.begin) {
        session.SendReply("501 The range ends before it starts.");
        return false;
    }
    const std::int64_t limit = session.Server().MaxHashBytes();
    if (limit != 0 && job.end - job.begin > limit) {
        session.SendReply("552 The range is larger than the checksum limit of %" PRId64 " MiB.",
                          limit > 0 ? limit >> 20 : 0);
        return false;
    }
    return true;
}

// SECURITY: reading for a checksum is held to the download speed limit, or it would
// be a way around it. False with the busy reply out.
bool ReadDownloadRate(CControlSocket& session, std::int64_t& rate) {
    UserRecord user;
    const LookupStatus found =
        session.Accounts().LookUpUser(session.Server().ProgramDir(), session.UserName(), user);
    if (ReplyIfAccountBusy(session, found)) return false;
    rate = found.ok() && user.downloadLimit == 1 && user.downloadSpeed > 0
               ? std::int64_t{user.downloadSpeed} << 10
               : 0;
    return true;
}

// Reads the range and answers; `legacy` the X* commands' "250 value", else HASH's 213.
void RunHash(CControlSocket& session, const HashRequest& request, bool legacy) {
    CDataFile file;
    if (!OpenHashedFile(session, request.path, file)) return;
    HashJob job;
    job.kind = request.kind;
    if (!DecideRange(session, request, file.Length(), job)) return;
    if (!ReadDownloadRate(session, job.rate)) return;
    std::string hex;
    switch (ComputeFileHash(session, file, job, hex)) {
        case HashOutcome::Done:
            break;
        case HashOutcome::Interrupted:
            session.SendReply("426 Checksum computation aborted.");  // before ABOR's reply
            return;
        case HashOutcome::SessionEnding:
            return;
        case HashOutcome::ReadFailed:
            session.SendReply("451 The file could not be read.");
            return;
    }
    if (legacy) {
        session.SendReply("250 %s", hex.c_str());
        return;
    }
    // SECURITY: the path goes back as the client sent it, less what would end the line.
    session.SendReply("213 %s %" PRId64 "-%" PRId64 " %s %s",
                      std::string(DigestName(job.kind)).c_str(), job.begin, job.end, hex.c_str(),
                      ReplaceControlCharacters(request.path).c_str());
}

void RunLegacyHash(CControlSocket& session, const std::string& argument, DigestKind kind) {
    HashRequest request;
    request.kind = kind;
    if (!ParseLegacyArgument(argument, request)) {
        session.SendReply("501 Syntax error: path [start [end]] expected.");
        return;
    }
    RunHash(session, request, true);
}

}  // namespace

std::string HashFeatureText(const CControlSocket& session) {
    std::string text = "HASH ";
    for (const DigestKind kind : kAdvertised) {
        if (kind != kAdvertised[0]) text += ';';
        text += DigestName(kind);
        if (kind == session.Settings().hashKind) text += '*';
    }
    return text;
}

void CmdOptsHash(CControlSocket& session, const std::string& name) {
    if (name.empty()) {
        session.SendReply("200 %s", std::string(DigestName(session.Settings().hashKind)).c_str());
        return;
    }
    const std::optional<DigestKind> kind = DigestByName(name);
    if (!kind) {
        session.SendReply("501 Unknown algorithm, current selection not changed.");
        return;
    }
    session.Settings().hashKind = *kind;
    session.SendReply("200 %s", std::string(DigestName(*kind)).c_str());
}

void CmdHash(CControlSocket& session, const std::string& argument) {
    SessionSettings& settings = session.Settings();
    HashRequest request;
    request.path = argument;
    request.kind = settings.hashKind;
    if (settings.hashRangeSet) {
        request.begin = settings.hashRangeFirst;
        request.end = settings.hashRangeLast + 1;
    }
    settings.hashRangeSet = false;
    RunHash(session, request, false);
}

void CmdRang(CControlSocket& session, const std::string& argument) {
    const std::string_view text = TrimBlanks(argument);
    const auto blank = text.find(' ');
    const std::optional<std::int64_t> first = ParseOffset(text.substr(0, blank));
    const std::optional<std::int64_t> last = blank == std::string_view::npos
                                                 ? std::nullopt
                                                 : ParseOffset(TrimBlanks(text.substr(blank + 1)));
    SessionSettings& settings = session.Settings();
    if (first == 1 && last == 0) {
        settings.hashRangeSet = false;
        session.SendReply("350 Restarting at 0. Ending byte at EOF.");
        return;
    }
    // The last byte's offset must still leave room for "one past it".
    if (!first || !last || *last < *first || *last == std::numeric_limits<std::int64_t>::max()) {
        session.SendReply("501 Syntax error: RANG start end, start not after end.");
        return;
    }
    settings.hashRangeSet = true;
    settings.hashRangeFirst = *first;
    settings.hashRangeLast = *last;
    session.SendReply("350 Restarting at %" PRId64 ". Ending byte at %" PRId64 ".", *first, *last);
}

void CmdXcrc(CControlSocket& session, const std::string& argument) {
    RunLegacyHash(session, argument, DigestKind::Crc32);
}
void CmdXmd5(CControlSocket& session, const std::string& argument) {
    RunLegacyHash(session, argument, DigestKind::Md5);
}
void CmdXsha1(CControlSocket& session, const std::string& argument) {
    RunLegacyHash(session, argument, DigestKind::Sha1);
}
void CmdXsha256(CControlSocket& session, const std::string& argument) {
    RunLegacyHash(session, argument, DigestKind::Sha256);
}
void CmdXsha512(CControlSocket& session, const std::string& argument) {
    RunLegacyHash(session, argument, DigestKind::Sha512);
}
