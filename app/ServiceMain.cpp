// tarvona-service: installs, removes, starts and stops tarvona-server as a systemd user
// service, so the FTP server runs without the window.
//   tarvona-service -i | -u | -s | -e | --status | --version
// The service serves the program directory (chosen as by the other programs) with the
// tarvona-server beside this program, or in the installed sbin folder. Exit status 0 on success, 1
// on failure (with the reason printed), 2 on a wrong command line; --status gives
// `systemctl is-active`'s (0 running, 3 not).
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/ProgramDirChoice.h"
#include "app/ServiceUnit.h"
#include "generated/Version.h"
#include "platform/FileSystem.h"
#include "platform/FileUtil.h"
#include "platform/Process.h"
#include "platform/ProgramDir.h"

namespace {

constexpr std::chrono::seconds kSystemctlTimeout{30};

int Fail(const std::string& why) {
    std::fprintf(stderr, "tarvona-service: %s\n", why.c_str());
    return 1;
}

// systemctl --user with `arguments`; its output is passed on unless `quiet`.
ProgramResult RunSystemctl(const std::vector<std::string>& arguments, bool quiet) {
    std::vector<std::string> argv = {"systemctl", "--user"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    ProgramResult result = RunProgram(argv, kSystemctlTimeout);
    if (!quiet && !result.output.empty()) std::fputs(result.output.c_str(), stdout);
    return result;
}

// As RunSystemctl; true on exit status 0.
bool Systemctl(const std::vector<std::string>& arguments, bool quiet = false) {
    const ProgramResult result = RunSystemctl(arguments, quiet);
    return result.started && !result.timedOut && result.exitStatus == 0;
}

bool HasUserManager() { return Systemctl({"show-environment"}, true); }

std::string UnitPath() { return UserUnitDir() + "/" + kServiceUnitName; }

// The tarvona-server to run: beside this program in a build tree, in the sbin folder
// next to its bin folder when installed.
std::string ServerProgram() {
    std::string prefix = ExecutableDir();         // ends with "/"; empty when unknown
    if (prefix.empty()) return "tarvona-server";  // not a path: Install refuses it
    const std::string beside = prefix + "tarvona-server";
    if (IsRegularFile(beside)) return beside;
    // A unit's program path must be absolute and plain ("/usr/sbin/...", no "..").
    prefix.pop_back();
    prefix.erase(prefix.rfind('/') + 1);  // "/bin" keeps "/"
    return prefix + "sbin/tarvona-server";
}

// The program directory, with an option.ini on a port the user may bind unless it has one.
bool PrepareProgramDir(const std::string& programDir, std::string& note, std::string& error) {
    if (!MakeDirectories(programDir, &error)) return false;
    const std::string options = programDir + "option.ini";
    if (IsRegularFile(options)) {
        note = "Kept " + options + ".";
        return true;
    }
    if (!platform::ReplaceFileAtomically(options, UserServiceOptions(), 0600, &error)) return false;
    note = "Wrote " + options + ": the server listens on port " + std::to_string(kUserServicePort) +
           " (ports below 1024 need root).";
    return true;
}

int Install(const std::string& programDir) {
    const std::string server = ServerProgram();
    if (!server.starts_with('/') || !IsRegularFile(server))
        return Fail(server + " is missing; the service would have nothing to run");
    const std::optional<std::string> unit = ServiceUnitText(server, programDir);
    if (!unit) return Fail("the program or data directory holds a line break; no unit can run it");
    const std::string unitDir = UserUnitDir();
    if (unitDir.empty()) return Fail("HOME is not set; there is no place for a user unit");
    std::string error;
    std::string note;
    if (!PrepareProgramDir(programDir, note, error))
        return Fail("cannot prepare the program directory " + programDir + ": " + error);
    if (!MakeDirectories(unitDir, &error) ||
        !platform::ReplaceFileAtomically(UnitPath(), *unit, 0644, &error))
        return Fail("cannot write " + UnitPath() + ": " + error);
    if (!Systemctl({"daemon-reload"}) || !Systemctl({"enable", kServiceUnitName}))
        return Fail("the unit is written but systemd did not enable it");
    std::printf("Installed %s: it runs %s --dir %s and starts with your session.\n%s\n",
                kServiceUnitName, server.c_str(), programDir.c_str(), note.c_str());
    return 0;
}

int Uninstall() {
    (void)Systemctl({"disable", "--now", kServiceUnitName});  // may be neither enabled nor running
    std::string error;
    if (!RemoveFileIfPresent(UnitPath(), &error))
        return Fail("cannot remove " + UnitPath() + ": " + error);
    if (!Systemctl({"daemon-reload"})) return Fail("systemd did not reload its units");
    std::printf("Removed %s.\n", kServiceUnitName);
    return 0;
}

constexpr char kUsage[] =
    "usage: tarvona-service -i | -u | -s | -e | --status | --help | --version\n"
    "  -i install, -u uninstall, -s start, -e stop the systemd user "
    "service that runs tarvona-server\n";

// What the server said last to systemd: why it could not start, when it could not.
std::string ServiceStatusText() {
    ProgramResult result =
        RunSystemctl({"show", "--property=StatusText", "--value", kServiceUnitName}, true);
    while (!result.output.empty() && result.output.back() == '\n') result.output.pop_back();
    return result.exitStatus == 0 ? result.output : std::string();
}

int Run(const char* verb, const char* done) {
    if (!Systemctl({verb, kServiceUnitName})) {
        const std::string reason = ServiceStatusText();
        if (reason.empty())
            return Fail(std::string("systemd could not ") + verb + " " + kServiceUnitName +
                        " (is it installed? tarvona-service -i)");
        return Fail(std::string("systemd could not ") + verb + " " + kServiceUnitName + ": " +
                    reason + " (journalctl --user -u " + kServiceUnitName + " tells more)");
    }
    std::printf("%s %s.\n", done, kServiceUnitName);
    return 0;
}

// `systemctl status` for the reader, and `systemctl is-active`'s exit status for scripts.
int Status() {
    (void)RunSystemctl({"status", "--no-pager", kServiceUnitName}, false);
    const ProgramResult active = RunSystemctl({"is-active", "--quiet", kServiceUnitName}, true);
    if (!active.started || active.timedOut || active.exitStatus < 0) return 1;
    return active.exitStatus;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc == 2 ? argv[1] : "";
    if (command == "--version") {
        std::printf("tarvona-service (Tarvona FTP Server) %s\n%s", kTarvonaVersion,
                    kTarvonaLicenceNotice);
        return 0;
    }
    if (command == "--help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command != "-i" && command != "-u" && command != "-s" && command != "-e" &&
        command != "--status") {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (!HasUserManager())
        return Fail(
            "no systemd user service manager is running for this user (systemctl --user "
            "cannot reach it), so the service cannot be installed or controlled. Run "
            "tarvona-server yourself, or log in to a session that has systemd.");
    if (command == "-i") {
        const ProgramDirChoice choice = ExplainProgramDir("");
        return choice.dir.empty() ? Fail(choice.source) : Install(choice.dir);
    }
    if (command == "-u") return Uninstall();
    if (command == "-s") return Run("start", "Started");
    if (command == "-e") return Run("stop", "Stopped");
    return Status();
}
