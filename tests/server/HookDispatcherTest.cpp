// The hook dispatcher with real programs: what a program is given, the queue bound and
// its drop count, the time-out's kill, and the event texts the URL action sends.
#include <gtest/gtest.h>

#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>

#include "config/HookCommand.h"
#include "platform/Hmac.h"
#include "server/HookDispatcher.h"
#include "tests/support/TempDir.h"

using namespace std::chrono_literals;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A dispatcher whose log lines are kept, with `line` (split as option.ini's) as the
// UploadComplete program.
struct DispatcherFixture {
    explicit DispatcherFixture(const std::string& line, std::size_t queueSize = 100,
                               std::chrono::seconds timeout = 30s) {
        std::string error;
        EXPECT_TRUE(SplitHookCommand(line, settings.actions[0].argv, error)) << error;
        settings.queueSize = queueSize;
        settings.timeout = timeout;
        dispatcher.Configure(settings);
    }
    std::vector<std::string> Lines() {
        std::lock_guard lock(logLock);
        return log;
    }
    HookSettings settings;
    std::mutex logLock;
    std::vector<std::string> log;
    CHookDispatcher dispatcher{[this](LogSeverity, const std::string& line) {
        std::lock_guard lock(logLock);
        log.push_back(line);
    }};
};

HookEvent Upload(const std::string& virtualPath) {
    HookEvent event = MakeHookEvent(HookEventKind::UploadComplete);
    event.user = "alice";
    event.virtualPath = virtualPath;
    event.path = "/srv" + virtualPath;
    event.size = 42;
    return event;
}

}  // namespace

TEST(HookDispatcher, ProgramGetsTheEventInItsEnvironmentAndArguments) {
    TempDir dir;
    DispatcherFixture f(
        "/bin/sh -c \"echo \\\"$0|$TARVONA_EVENT|$TARVONA_USER|$TARVONA_VPATH|"
        "$TARVONA_PATH|$TARVONA_SIZE|$TARVONA_ADDRESS\\\" >> " +
        dir.Path("out") + "\" \"first arg\"");
    f.dispatcher.StartWorkers();
    EXPECT_TRUE(f.dispatcher.Post(Upload("/a b.txt")));
    // An event without an action is not queued.
    EXPECT_TRUE(f.dispatcher.Post(MakeHookEvent(HookEventKind::Delete)));
    ASSERT_TRUE(f.dispatcher.WaitUntilIdle(10s));
    EXPECT_EQ(ReadAll(dir.Path("out")),
              "first arg|UploadComplete|alice|/a b.txt|/srv/a b.txt|42|\n");
    EXPECT_TRUE(f.Lines().empty());
}

TEST(HookDispatcher, FullQueueDropsCountsAndLogsOnceAndTheRestStillRuns) {
    TempDir dir;
    DispatcherFixture f("/bin/sh -c \"echo $TARVONA_VPATH >> " + dir.Path("out") + "\"", 3);
    f.settings.concurrency = 1;  // one at a time: the lines come in the queue's order
    f.dispatcher.Configure(f.settings);
    // Before the workers start nothing is taken: the bound alone decides.
    for (int i = 0; i < 10; ++i) (void)f.dispatcher.Post(Upload("/" + std::to_string(i)));
    EXPECT_EQ(f.dispatcher.DroppedEvents(), 7u);
    ASSERT_EQ(f.Lines().size(), 1u);
    EXPECT_EQ(f.Lines()[0],
              "Hook queue full (3 events waiting): the UploadComplete event was dropped.");
    f.dispatcher.StartWorkers();
    ASSERT_TRUE(f.dispatcher.WaitUntilIdle(10s));
    EXPECT_EQ(ReadAll(dir.Path("out")), "/0\n/1\n/2\n");
    EXPECT_EQ(f.Lines().back(),
              "Hook queue: 7 events were dropped while it was full (7 since start).");
    f.dispatcher.Shutdown();
    EXPECT_EQ(f.Lines().back(), "Hooks: 7 events were dropped since start.");
    EXPECT_FALSE(f.dispatcher.Post(Upload("/late")));
    EXPECT_EQ(f.dispatcher.DroppedEvents(), 8u);
}

TEST(HookDispatcher, ProgramPastItsTimeOutIsKilledWithWhatItStarted) {
    TempDir dir;
    const std::string pidFile = dir.Path("child");
    DispatcherFixture f("/bin/sh -c \"sleep 60 & echo $! > " + pidFile + "; wait\"", 10, 1s);
    f.dispatcher.StartWorkers();
    const auto began = std::chrono::steady_clock::now();
    EXPECT_TRUE(f.dispatcher.Post(Upload("/x")));
    ASSERT_TRUE(f.dispatcher.WaitUntilIdle(10s));
    EXPECT_LT(std::chrono::steady_clock::now() - began, 5s);
    ASSERT_EQ(f.Lines().size(), 1u);
    EXPECT_EQ(f.Lines()[0], "Hook OnUploadComplete: /bin/sh was killed after its time-out of 1 s.");
    const std::string child = ReadAll(pidFile);
    ASSERT_FALSE(child.empty());
    // Gone, or a zombie waiting for a parent that reaps.
    const std::string stat = ReadAll("/proc/" + child.substr(0, child.size() - 1) + "/stat");
    EXPECT_TRUE(stat.empty() || stat.find(") Z ") != std::string::npos) << stat;
}

TEST(HookEvent, BodyIsValidJsonWhateverTheNameAndSignatureIsHmacSha256) {
    HookEvent event = Upload("/caf\xe9\"\n.txt");
    event.time = 1700000000;
    const std::string body = HookJsonBody(event);
    const nlohmann::json parsed = nlohmann::json::parse(body);
    EXPECT_EQ(parsed["event"], "UploadComplete");
    EXPECT_EQ(parsed["vpath"], "/caf\xef\xbf\xbd\"\n.txt");
    EXPECT_EQ(parsed["size"], 42);
    EXPECT_FALSE(parsed.contains("newPath"));
    // RFC 4231, test case 2.
    EXPECT_EQ(HmacSha256Hex("Jefe", "what do ya want for nothing?"),
              "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
}
