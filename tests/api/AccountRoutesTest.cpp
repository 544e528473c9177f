// The user, group and folder routes called as the router calls them, on a real server
// and real tables: what they store, the version rule between two writers, the refusals,
// and that they write what tarvona-admin writes for the same change.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "accounts/AccountEditor.h"
#include "accounts/AccountSchema.h"
#include "api/ApiTypes.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ServerHarness.h"
#include "tests/support/TempDir.h"

namespace {

using nlohmann::json;

class AccountRoutesTest : public testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(EnsureAccountTables(m_dir.ProgramDir(), error)) << error;
    }

    // `target` is a route pattern with its parts filled in: "/api/v1/users/{userid}=alice".
    ApiResponse Call(const std::string& method, const std::string& pattern,
                     const std::map<std::string, std::string>& params = {},
                     const std::string& body = {}, const std::string& ifMatch = {}) {
        ApiRequest request;
        request.method = method;
        request.path = pattern;
        request.pathParams = params;
        request.body = body;
        request.ifMatch = ifMatch;
        ApiResponse response = ApiError(405, "no route " + method + " " + pattern);
        for (const ApiRoute& route : m_routes)
            if (route.method == method && route.pattern == pattern)
                m_server.RunOnServer([&](CFtpServer& server) {
                    ApiContext context{server, m_dir.ProgramDir()};
                    response = route.handler(context, request);
                });
        return response;
    }
    ApiResponse User(const std::string& method, const std::string& name,
                     const std::string& body = {}, const std::string& ifMatch = {}) {
        return Call(method, "/api/v1/users/{userid}", {{"userid", name}}, body, ifMatch);
    }
    ApiResponse Folders(const std::string& method, const std::string& name,
                        const std::string& body = {}, const std::string& ifMatch = {}) {
        return Call(method, "/api/v1/users/{userid}/folders", {{"userid", name}}, body, ifMatch);
    }
    ApiResponse AddUser(const std::string& body) { return Call("POST", "/api/v1/users", {}, body); }
    bool Logged(const std::string& text) {
        const auto lines = m_server.Sink().LogTexts();
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.find(text) != std::string::npos;
        });
    }
    UserRecord Stored(const std::string& name) {
        UserRecord user;
        EXPECT_TRUE(ReadUser(m_dir.ProgramDir(), name, user)) << name;
        return user;
    }

    TempDir m_dir;
    ServerHarness m_server{m_dir.ProgramDir()};
    std::vector<ApiRoute> m_routes = AccountRoutes();
};

constexpr char kAlice[] = R"({"userid":"alice","password":"pw","homedir":"/srv/alice"})";

TEST_F(AccountRoutesTest, UsersGroupsAndFoldersAreMadeReadChangedAndDeleted) {
    ASSERT_EQ(Call("POST", "/api/v1/groups", {}, R"({"name":"Staff","notes":"n"})").status, 201);
    const ApiResponse made = AddUser(
        R"({"userid":"alice","password":"pw","homedir":"/srv/alice","group":"Staff",
            "permissions":"RWDRALCRR","write":false,"download_limit":true,"download_speed":50})");
    ASSERT_EQ(made.status, 201) << made.body.dump();
    EXPECT_FALSE(made.etag.empty());
    EXPECT_FALSE(made.body.contains("password"));
    EXPECT_EQ(made.body["group"], "Staff");
    EXPECT_EQ(made.body["permissions"], "R-DRALCRR");  // the single field beside the text wins
    EXPECT_EQ(made.body["status"], 1);
    EXPECT_EQ(Stored("alice").password, "pw");
    EXPECT_TRUE(Logged("User alice added by the administrator (control socket)."));

    const ApiResponse read = User("GET", "alice");
    EXPECT_EQ(read.body, made.body);
    EXPECT_EQ(read.etag, made.etag);

    // PATCH keeps what it does not name; PUT gives it a new account's values.
    const ApiResponse patched = User("PATCH", "alice", R"({"email":"a@example.org"})");
    ASSERT_EQ(patched.status, 200) << patched.body.dump();
    EXPECT_NE(patched.etag, made.etag);
    EXPECT_EQ(patched.body["download_speed"], 50);
    const ApiResponse put = User("PUT", "alice", R"({"homedir":"/srv/a2","group":"Staff"})");
    ASSERT_EQ(put.status, 200) << put.body.dump();
    EXPECT_EQ(put.body["email"], "");
    EXPECT_EQ(put.body["permissions"], "R----L---");
    EXPECT_EQ(Stored("alice").password, "pw");

    ASSERT_EQ(Folders("PUT", "alice", R"([{"name":"Music","dir":"/srv/music"},
                                          {"name":"Up","dir":"/srv/up","permissions":"RW---L---"}])")
                  .status,
              200);
    const ApiResponse folders = Folders("GET", "alice");
    ASSERT_EQ(folders.body.size(), 2u);
    EXPECT_EQ(folders.body[1]["permissions"], "RW---L---");
    EXPECT_EQ(folders.body[0]["dir_list"], true);
    // A record change leaves the folder table alone.
    ASSERT_EQ(User("PATCH", "alice", R"({"status":0})").status, 200);
    EXPECT_EQ(Folders("GET", "alice").body, folders.body);

    EXPECT_EQ(Call("PATCH", "/api/v1/groups/{name}", {{"name", "Staff"}}, R"({"name":"Crew"})")
                  .body["name"],
              "Crew");
    EXPECT_EQ(User("GET", "alice").body["group"], "Crew");
    EXPECT_EQ(Call("DELETE", "/api/v1/groups/{name}", {{"name", "Crew"}}).status, 204);
    EXPECT_EQ(Stored("alice").groups, "");
    EXPECT_EQ(User("DELETE", "alice").status, 204);
    EXPECT_EQ(User("GET", "alice").status, 404);
    EXPECT_EQ(Call("GET", "/api/v1/users").body, json::array());
    EXPECT_TRUE(Logged("User alice deleted by the administrator (control socket)."));
}

TEST_F(AccountRoutesTest, PasswordsAreHashedWhenTheOptionSaysSo) {
    WriteFile(m_dir.Path("option.ini"), "[Security]\nHashPasswords=1\n");
    ASSERT_EQ(AddUser(kAlice).status, 201);
    EXPECT_EQ(Stored("alice").password.rfind("$y$", 0), 0u);
}

// Two writers that read the same version: the second is refused and changes nothing,
// whether the first was the API or another editor (the window, tarvona-admin).
TEST_F(AccountRoutesTest, AStaleVersionIsRefusedAndChangesNothing) {
    const std::string first = AddUser(kAlice).etag;
    ASSERT_EQ(User("PATCH", "alice", R"({"email":"one"})", first).status, 200);
    const ApiResponse stale = User("PATCH", "alice", R"({"email":"two"})", first);
    EXPECT_EQ(stale.status, 412) << stale.body.dump();
    EXPECT_EQ(User("DELETE", "alice", {}, first).status, 412);
    EXPECT_EQ(Stored("alice").email, "one");

    const std::string current = User("GET", "alice").etag;
    UserRecord other = Stored("alice");
    other.email = "window";
    ASSERT_TRUE(CAccountEditor(m_dir.ProgramDir()).SaveUser(other, {}));
    EXPECT_EQ(User("PUT", "alice", R"({"homedir":"/x"})", current).status, 412);
    EXPECT_EQ(Stored("alice").homeDir, "/srv/alice");
    EXPECT_EQ(User("PATCH", "alice", R"({"email":"three"})", "*").status, 200);

    const std::string list = Folders("GET", "alice").etag;
    ASSERT_EQ(Folders("PUT", "alice", R"([{"name":"A","dir":"/a"}])", list).status, 200);
    EXPECT_EQ(Folders("PUT", "alice", R"([{"name":"B","dir":"/b"}])", list).status, 412);
    EXPECT_EQ(Folders("GET", "alice").body[0]["name"], "A");
}

TEST_F(AccountRoutesTest, BadInputIsRefusedWithTheEditorsMessages) {
    ASSERT_EQ(AddUser(kAlice).status, 201);
    const auto refusal = [](const ApiResponse& r) {
        return std::to_string(r.status) + " " + r.body.value("error", std::string());
    };
    EXPECT_EQ(refusal(User("PATCH", "alice", R"({"colour":"red"})")),
              "400 unknown field \"colour\"");
    EXPECT_EQ(refusal(User("PATCH", "alice", R"({"read":1})")), "400 \"read\" needs true or false");
    EXPECT_EQ(refusal(User("PATCH", "alice", R"({"quota_max":-5})")),
              "400 \"quota_max\" needs a whole number from 0 to 2147483647");
    EXPECT_EQ(User("PATCH", "alice", "{\"email\":").status, 400);
    EXPECT_EQ(User("PATCH", "alice", R"({"group":"Nobody"})").status, 400);

    // The editor's own words, for a value only its rules refuse.
    UserRecord relative = Stored("alice");
    relative.homeDir = "srv";
    CAccountEditor editor(m_dir.ProgramDir());
    ASSERT_FALSE(editor.SaveUser(relative, {}));
    EXPECT_EQ(refusal(User("PATCH", "alice", R"({"homedir":"srv"})")),
              "400 " + editor.GetLastError());
    EXPECT_EQ(refusal(AddUser(R"({"userid":"bob"})")), "400 Home Dir cannot be empty!");
    EXPECT_EQ(refusal(Folders("PUT", "alice", R"([{"name":"","dir":"/m"}])")),
              "400 Please input a name for this virtual folder!");
    EXPECT_EQ(
        refusal(Folders("PUT", "alice", R"([{"name":"M","dir":"/m"},{"name":"M","dir":"/n"}])")),
        "400 A virtual folder named \"M\" exists already.");
    EXPECT_EQ(Stored("alice").homeDir, "/srv/alice");

    for (const std::string& name : {std::string(".."), std::string("a/b"), std::string("a\x01")}) {
        EXPECT_EQ(User("GET", name).status, 400) << name;
        EXPECT_EQ(AddUser(json{{"userid", name}, {"homedir", "/h"}}.dump()).status, 400) << name;
    }
    EXPECT_EQ(Folders("PUT", "alice", R"([{"name":"..","dir":"/m"}])").status, 400);
    EXPECT_EQ(refusal(AddUser(R"({"userid":"ALICE","homedir":"/h"})")),
              "409 user \"ALICE\" exists already");
    EXPECT_EQ(User("PATCH", "nobody", "{}").status, 404);
    EXPECT_EQ(Folders("GET", "nobody").status, 404);
    EXPECT_EQ(Call("DELETE", "/api/v1/groups/{name}", {{"name", "none"}}).status, 404);
}

// The same change through the API and through tarvona-admin leaves the same bytes.
TEST_F(AccountRoutesTest, WritesTheBytesTarvonaAdminWrites) {
    TempDir other;
    const auto admin = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {TARVONA_ADMIN_BINARY, "--dir", other.Path()});
        return RunToEnd(args).status;
    };
    ASSERT_EQ(admin({"group", "add", "Staff", "--notes", "the staff"}), 0);
    ASSERT_EQ(admin({"user", "add", "alice", "--password", "pw", "--home", "/srv/alice", "--groups",
                     "Staff", "--perms", "RWDRALCRR", "--quota", "100"}),
              0);
    ASSERT_EQ(admin({"user", "set", "alice", "--email", "a@example.org", "--download-limit", "50"}),
              0);
    ASSERT_EQ(admin({"folder", "add", "--user", "alice", "Music", "/srv/music"}), 0);

    ASSERT_EQ(Call("POST", "/api/v1/groups", {}, R"({"name":"Staff","notes":"the staff"})").status,
              201);
    ASSERT_EQ(AddUser(R"({"userid":"alice","password":"pw","homedir":"/srv/alice",
                          "group":"Staff","permissions":"RWDRALCRR","quota_max":100})")
                  .status,
              201);
    ASSERT_EQ(User("PATCH", "alice",
                   R"({"email":"a@example.org","download_limit":true,"download_speed":50})")
                  .status,
              200);
    ASSERT_EQ(Folders("PUT", "alice", R"([{"name":"Music","dir":"/srv/music"}])").status, 200);

    for (const char* file : {"user.sdb", "group.sdb", "vfolder_user1.sdb"})
        EXPECT_EQ(ReadFile(m_dir.Path(file)), ReadFile(other.Path(file))) << file;
}

}  // namespace
