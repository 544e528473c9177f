// PORT, PASV and P@SW: where the next data connection goes.
#include <algorithm>
#include <cctype>
#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "ftp/Commands.h"
#include "ftp/DataConnection.h"
#include "ftp/DataSocket.h"
#include "ftp/TransferEnd.h"
#include "ftp/TransferLimits.h"
#include "platform/Text.h"
#include "server/ConnectThread.h"
#include "server/ControlSocket.h"
#include "server/FtpServer.h"

namespace {

std::vector<std::string> SplitPieces(const std::string& argument) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (;;) {
        const auto comma = argument.find(',', start);
        pieces.push_back(std::string(
            Trim(std::string_view(argument).substr(start, comma - start), kWhitespace)));
        if (comma == std::string::npos) return pieces;
        start = comma + 1;
    }
}

// The leading integer of a PORT piece, held small enough that piece * 256 + piece
// cannot overflow.
long PortPieceValue(const std::string& text) {
    constexpr long kLimit = INT_MAX / 512;
    return static_cast<long>(std::clamp<std::int64_t>(LeadingInteger(text), -kLimit, kLimit));
}

// The dotted address of four PORT pieces, with "007" read as 7 so that a client that
// pads its numbers is recognised; pieces that are not numbers stay as given.
std::string DottedAddress(const std::vector<std::string>& pieces) {
    std::string address;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::string& piece = pieces[i];
        const bool number = !piece.empty() && piece.size() <= 3 &&
                            std::all_of(piece.begin(), piece.end(),
                                        [](unsigned char c) { return std::isdigit(c) != 0; });
        if (i > 0) address += '.';
        address += number ? std::to_string(std::stoi(piece)) : piece;
    }
    return address;
}

}  // namespace

bool DataCommandAllowed(CControlSocket& session, const char* keyword, const char* extendedKeyword) {
    if (session.Settings().epsvAll) {
        session.SendReply("503 %s not allowed after EPSV ALL.", keyword);
        return false;
    }
    // An IPv6 address does not fit the six numbers of PORT and PASV.
    if (extendedKeyword != nullptr && IsIpv6Client(session)) {
        session.SendReply("501 %s is not available over IPv6; use %s.", keyword, extendedKeyword);
        return false;
    }
    return true;
}

void CmdPort(CControlSocket& session, const std::string& argument) {
    if (!DataCommandAllowed(session, "PORT", "EPRT")) return;
    const std::vector<std::string> pieces = SplitPieces(argument);
    if (pieces.size() != 6) {
        session.SendReply("501 Syntax error: Invalid parameter.");
        return;
    }
    const std::string address = DottedAddress(pieces);
    // SECURITY: the server connects only back to the client itself, never to a third
    // host named by it (bounce attack).
    if (address != session.Owner().PeerAddress()) {
        session.SendReply("501 PORT address does not match the client address.");
        return;
    }
    const long port = PortPieceValue(pieces[4]) * 256 + PortPieceValue(pieces[5]);
    // SECURITY: no connection from the server to a privileged port, not even the
    // client's own (a service there would take the data as a request from this host).
    if (port < kMinActivePort) {
        session.SendReply("501 PORT to a port below 1024 is not allowed.");
        return;
    }
    session.Settings().data.portAddress = address;
    session.Settings().data.portPort = static_cast<int>(port);
    session.Settings().data.passive = false;
    session.SendReply("200 Port command successful.");
}

bool OpenPassiveSocket(CControlSocket& session, std::uint16_t& port) {
    // REST names where the next transfer starts, whichever data connection carries it:
    // REST, then PASV, then STOR resumes the upload instead of cutting the file.
    const std::int64_t restartOffset = session.Settings().data.restartOffset;
    EndDataConnection(session);
    session.Settings().data.restartOffset = restartOffset;
    session.SetDataSocket(std::make_unique<CDataSocket>(session));
    std::uint32_t low = 0;
    std::uint32_t high = 0;
    session.Server().GetPassiveRange(low, high);
    CFtpServer& server = session.Server();
    if (!session.DataSocket()->BindPassivePort(low, high, server.NextPassivePortToTry(),
                                               DataFamily(session))) {
        EndDataConnection(session);
        session.SendReply("421 Create socket error.");
        return false;
    }
    // The bind already listens unless listening failed for a reason of its own.
    if (!session.DataSocket()->IsListening() && !session.DataSocket()->Listen(kPassiveBacklog)) {
        session.SendReply("421 Failed to listen on socket.");
        return false;
    }
    port = session.DataSocket()->PassivePort();
    server.NotePassivePortTaken(port);
    return true;
}

void CmdPasv(CControlSocket& session, const std::string&) {
    if (!DataCommandAllowed(session, "PASV", "EPSV")) return;
    std::uint16_t port = 0;
    if (!OpenPassiveSocket(session, port)) return;
    std::string address = session.Server().GetPassiveAddress();
    if (address.empty()) address = session.LocalAddress();
    std::replace(address.begin(), address.end(), '.', ',');
    session.SendReply("227 Entering Passive Mode (%s,%d,%d).", address.c_str(), port / 256,
                      port % 256);
    session.Settings().data.passive = true;
}
