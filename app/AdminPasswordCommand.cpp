// tarvona-admin admin-password: sets the password of the administration API's user
// "admin" ([Admin] PasswordHash of option.ini), asked for without echo on a terminal or
// read as one line from a pipe.
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "accounts/PasswordHash.h"
#include "app/AdminAccountCommands.h"
#include "app/AdminArgs.h"
#include "config/Options.h"
#include "platform/FileSystem.h"
#include "platform/SecretInput.h"

namespace {

constexpr std::size_t kLongestPassword = 1024;

std::optional<std::string> AskPassword(std::ostream& err) {
    std::optional<std::string> first =
        ReadSecretLine("New administrator password: ", kLongestPassword);
    if (!first || first->empty()) {
        Report(err, kExitRefused, "no password given (an empty one is refused)");
        return std::nullopt;
    }
    if (!IsTerminalInput()) return first;
    const std::optional<std::string> again = ReadSecretLine("Again: ", kLongestPassword);
    if (again != first) {
        Report(err, kExitRefused, "the two passwords differ; nothing was changed");
        return std::nullopt;
    }
    return first;
}

}  // namespace

int RunAdminPasswordCommand(const std::string& programDir, const std::vector<std::string>& args,
                            std::ostream& out, std::ostream& err) {
    if (!args.empty())
        return Report(err, kExitBadArguments,
                      "usage: tarvona-admin admin-password (the password is read from the "
                      "terminal or standard input)");
    const std::optional<std::string> password = AskPassword(err);
    if (!password) return kExitRefused;
    const std::string hash = HashPassword(*password);
    if (hash.empty()) return Report(err, kExitRefused, "the password cannot be hashed");
    COptions options(programDir);
    // SECURITY: the file holds a secret from now on, so nobody else may read it; narrowed
    // before the hash is written, never after.
    if (!IsAbsent(options.FilePath()) && !SetPermissionBits(options.FilePath(), 0600))
        return Report(err, kExitRefused, options.FilePath() + " cannot be made private (0600)");
    if (!options.WriteText(&OptionValues::adminPasswordHash, hash))
        return Report(err, kExitRefused, options.GetLastError());
    out << "The administrator password is set; a running server uses it from the next "
           "sign-in.\n";
    return kExitDone;
}
