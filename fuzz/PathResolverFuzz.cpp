// Fuzz target: hostile client paths (and current directories) go through the path
// resolver of a real session against real account tables. A resolved local path must
// stay inside the home directory or a virtual folder's directory, ToVirtualPath must
// give a client path, and nothing may crash. Any sanitizer report is a bug.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "accounts/AccountEditor.h"
#include "accounts/AccountSchema.h"
#include "ftp/PathResolver.h"
#include "ftp/PathText.h"
#include "server/ConnectThread.h"
#include "server/ControlSocket.h"
#include "server/FtpServer.h"

namespace fs = std::filesystem;

namespace {

PermissionSet AllPermissions() {
    PermissionSet set;
    set.granted.fill(true);
    return set;
}

VirtualFolder Folder(const std::string& name, const std::string& dir) {
    VirtualFolder folder;
    folder.name = name;
    folder.dir = dir;
    folder.permissions = AllPermissions();
    return folder;
}

// A program directory with one account: a home with a few levels, a folder of the
// user outside the home, one inside it, and one of a group. Made once per process and
// removed at its end. No symbolic links, so the text of a path says where it is.
class Tree {
public:
    Tree() {
        std::random_device rd;
        m_root = (fs::temp_directory_path() / ("paths-fuzz-" + std::to_string(rd()))).string();
        m_programDir = m_root + "/program/";
        home = m_root + "/home";
        roots = {home, m_root + "/pub", home + "/docs/shared", m_root + "/team"};
        for (const std::string& dir : roots) fs::create_directories(dir);
        fs::create_directories(home + "/a/b/c");
        fs::create_directories(m_programDir);
        std::ofstream(home + "/a/file.txt") << "x";
        std::ofstream(home + "/.profile") << "x";
        std::ofstream(m_root + "/pub/song.mp3") << "x";
        std::ofstream(m_root + "/secret.txt") << "x";  // beside every root: never reachable
        std::string error;
        if (!EnsureAccountTables(m_programDir, error)) Die(error);
        CAccountEditor editor(m_programDir);
        GroupRecord group;
        group.name = "team";
        if (!editor.SaveGroup(group, {Folder("Team", m_root + "/team")}))
            Die(editor.GetLastError());
        UserRecord user;
        user.name = "alice";
        user.password = "secret";
        user.homeDir = home;
        user.status = "1";
        user.groups = std::to_string(group.id);
        user.permissions = AllPermissions();
        if (!editor.SaveUser(
                user, {Folder("Pub", m_root + "/pub"), Folder("shared", home + "/docs/shared")}))
            Die(editor.GetLastError());
    }
    ~Tree() {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }
    const std::string& ProgramDir() const { return m_programDir; }

    std::string home;
    std::vector<std::string> roots;

private:
    [[noreturn]] static void Die(const std::string& why) {
        std::fprintf(stderr, "paths fuzz set-up failed: %s\n", why.c_str());
        std::abort();
    }
    std::string m_root;
    std::string m_programDir;
};

struct Fixture {
    Tree tree;
    CFtpServer server{tree.ProgramDir()};
    CConnectThread thread{server, UniqueFd(), ""};  // never started: only its session is used
    Fixture() { thread.Control().SetUserName("alice"); }
};

Fixture& Shared() {
    static Fixture* fixture = new Fixture;  // lives for the process
    static const bool cleanup = [] {
        std::atexit([] { delete fixture; });
        return true;
    }();
    (void)cleanup;
    return *fixture;
}

// The invariant: a local path handed to a file operation lies in a root, also when
// read as a C string (a NUL cuts it short there).
void CheckInside(const Fixture& f, const std::string& local, const char* what) {
    if (local.empty()) return;
    const std::string asCString(local.c_str());
    for (const std::string& path : {local, asCString}) {
        bool inside = false;
        for (const std::string& root : f.tree.roots) inside = inside || IsSameOrBelow(root, path);
        if (!inside) {
            std::fprintf(stderr, "%s escaped the roots: \"%s\"\n", what, path.c_str());
            std::abort();
        }
        for (const std::string& part : SplitVirtualPath(path)) {
            if (part == "..") {
                std::fprintf(stderr, "%s climbs: \"%s\"\n", what, path.c_str());
                std::abort();
            }
        }
    }
}

constexpr PermissionKind kKinds[] = {
    PermissionKind::Read,      PermissionKind::Write,     PermissionKind::Rename,
    PermissionKind::Delete,    PermissionKind::Append,    PermissionKind::DirList,
    PermissionKind::DirCreate, PermissionKind::DirRemove, PermissionKind::DirRename,
};

}  // namespace

// Input: one byte choosing the permission kind, an optional current directory and a
// LF, then the argument. Without a LF the rest is the argument and "/" is current.
// Every call reads the account tables afresh, so one kind per input keeps it fast.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > 4096) return 0;  // 4096: the control channel's line limit
    Fixture& f = Shared();
    CControlSocket& session = f.thread.Control();
    const PermissionKind kind = kKinds[data[0] % std::size(kKinds)];
    const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
    const auto lf = input.find('\n');
    std::string current = lf == std::string::npos ? "/" : input.substr(0, lf);
    if (current.empty() || current.front() != '/') current.insert(0, "/");
    const std::string argument = lf == std::string::npos ? input : input.substr(lf + 1);
    session.SetCurrentDir(current);
    std::string local;
    if (ResolveFilePath(session, argument, kind, local).IsFound())
        CheckInside(f, local, "ResolveFilePath");
    local.clear();
    const PathResolution dir = ResolveDirPath(session, argument, kind, local);
    if (dir.IsFound() || kind == PermissionKind::DirCreate) CheckInside(f, local, "ResolveDirPath");
    // Any text at all is shown without failing; a mapped path as a client path.
    (void)ToVirtualPath(session, argument);
    if (local.empty()) return 0;
    const std::string shown = ToVirtualPath(session, local);
    if (shown.empty() || shown.front() != '/') {
        std::fprintf(stderr, "ToVirtualPath gave \"%s\"\n", shown.c_str());
        std::abort();
    }
    return 0;
}
