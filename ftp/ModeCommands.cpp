// MODE and OPTS MODE: stream mode, plain or deflated (MODE Z), for the transfers that
// follow.
#include <string>
#include <string_view>

#include "ftp/Commands.h"
#include "ftp/ZStream.h"
#include "platform/Text.h"
#include "server/ControlSocket.h"

void CmdMode(CControlSocket& session, const std::string& argument) {
    if (EqualsNoCase(argument, "S") || EqualsNoCase(argument, "Z")) {
        session.Settings().deflate = EqualsNoCase(argument, "Z");
        session.SendReply("200 Mode set to %s.", session.Settings().deflate ? "Z" : "S");
        return;
    }
    // Block and compressed mode are known modes this server does not offer.
    if (EqualsNoCase(argument, "B") || EqualsNoCase(argument, "C")) {
        session.SendReply("504 Command not implemented for that parameter.");
        return;
    }
    session.SendReply("501 Unknown mode.");
}

void CmdOptsMode(CControlSocket& session, const std::string& modeOptions) {
    // "Z LEVEL n" with one digit: the only option of the only mode that has options.
    constexpr std::string_view kPrefix = "Z LEVEL ";
    const std::string_view options(modeOptions);
    if (options.size() != kPrefix.size() + 1 ||
        !EqualsNoCase(options.substr(0, kPrefix.size()), kPrefix)) {
        session.SendReply("501 Option not understood.");
        return;
    }
    const char digit = options.back();
    if (digit < '0' + kMinDeflateLevel || digit > '0' + kMaxDeflateLevel) {
        session.SendReply("501 MODE Z LEVEL must be %d to %d.", kMinDeflateLevel, kMaxDeflateLevel);
        return;
    }
    session.Settings().deflateLevel = digit - '0';
    session.SendReply("200 MODE Z LEVEL set to %d.", session.Settings().deflateLevel);
}
