// EPSV and EPRT: data connections described independently of the address family, so
// they work over IPv6 as well as IPv4.
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "ftp/Commands.h"
#include "ftp/DataConnection.h"
#include "ftp/DataSocket.h"
#include "ftp/TransferLimits.h"
#include "platform/Text.h"
#include "server/ConnectThread.h"
#include "server/ControlSocket.h"

namespace {

// Network protocol numbers of extended data commands.
constexpr int kProtocolIpv4 = 1;
constexpr int kProtocolIpv6 = 2;
// Longest protocol or port number taken; longer ones are malformed.
constexpr std::size_t kMaxNumberDigits = 5;

// The value of `text` when it is 1 to 5 decimal digits, else -1.
int SmallNumber(const std::string& text) {
    if (text.empty() || text.size() > kMaxNumberDigits ||
        !std::all_of(text.begin(), text.end(),
                     [](unsigned char c) { return std::isdigit(c) != 0; }))
        return -1;
    return std::stoi(text);
}

// The protocol number of the client's own address as the control connection sees it.
int OwnProtocol(CControlSocket& session) {
    return IsIpv6Client(session) ? kProtocolIpv6 : kProtocolIpv4;
}

void ReplyProtocolNotSupported(CControlSocket& session) {
    session.SendReply("522 Network protocol not supported, use (%d)", OwnProtocol(session));
}

// Splits "|proto|address|port|" at its delimiter (the first character). False unless
// there are exactly three fields closed by the delimiter.
bool SplitExtendedAddress(const std::string& argument, std::vector<std::string>& fields) {
    if (argument.size() < 2) return false;
    const char delimiter = argument[0];
    // RFC 2428: any printable character other than a digit; digits would be ambiguous.
    if (delimiter < 33 || delimiter > 126 ||
        std::isdigit(static_cast<unsigned char>(delimiter)) != 0)
        return false;
    if (argument.back() != delimiter) return false;
    fields.clear();
    std::size_t start = 1;
    while (start < argument.size()) {
        const std::size_t next = argument.find(delimiter, start);
        fields.push_back(argument.substr(start, next - start));
        start = next + 1;
    }
    return fields.size() == 3;
}

}  // namespace

void CmdEpsv(CControlSocket& session, const std::string& argument) {
    const std::string choice = std::string(TrimBlanks(argument));
    if (EqualsNoCase(choice, "ALL")) {
        session.Settings().epsvAll = true;
        session.SendReply("200 EPSV ALL command successful.");
        return;
    }
    if (!choice.empty()) {
        const int protocol = SmallNumber(choice);
        if (protocol < 0) {
            session.SendReply("501 Syntax error: Invalid parameter.");
            return;
        }
        if (protocol != OwnProtocol(session)) {
            ReplyProtocolNotSupported(session);
            return;
        }
    }
    std::uint16_t port = 0;
    if (!OpenPassiveSocket(session, port)) return;
    session.SendReply("229 Entering Extended Passive Mode (|||%d|)", port);
    session.Settings().data.passive = true;
}

void CmdEprt(CControlSocket& session, const std::string& argument) {
    if (!DataCommandAllowed(session, "EPRT", nullptr)) return;
    std::vector<std::string> fields;
    if (!SplitExtendedAddress(std::string(TrimBlanks(argument)), fields)) {
        session.SendReply("501 Syntax error: Invalid parameter.");
        return;
    }
    const int protocol = SmallNumber(fields[0]);
    if (protocol < 0) {
        session.SendReply("501 Syntax error: Invalid parameter.");
        return;
    }
    if (protocol != kProtocolIpv4 && protocol != kProtocolIpv6) {
        ReplyProtocolNotSupported(session);
        return;
    }
    std::string address;
    const int port = SmallNumber(fields[2]);
    if (!CanonicalAddressText(protocol == kProtocolIpv4 ? AddressFamily::V4 : AddressFamily::V6,
                              fields[1], address) ||
        port < 1 || port > 65535) {
        session.SendReply("501 Syntax error: Invalid parameter.");
        return;
    }
    // SECURITY: as with PORT, the server connects only back to the client itself (no
    // bounce). Both sides are in canonical text, so any spelling of the address counts.
    if (address != session.Owner().PeerAddress()) {
        session.SendReply("501 EPRT address does not match the client address.");
        return;
    }
    // SECURITY: as with PORT, never to a privileged port.
    if (port < kMinActivePort) {
        session.SendReply("501 EPRT to a port below 1024 is not allowed.");
        return;
    }
    session.Settings().data.portAddress = address;
    session.Settings().data.portPort = port;
    session.Settings().data.passive = false;
    session.SendReply("200 EPRT command successful.");
}
