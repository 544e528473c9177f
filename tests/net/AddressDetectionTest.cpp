// Public-address detection against a real HTTP page on loopback: what is accepted as an
// address, what the update request carries, when nothing is sent, and the retry.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "net/AddressDetector.h"
#include "net/HttpGet.h"
#include "net/PublicAddress.h"
#include "platform/EventLoop.h"
#include "tests/support/EchoServer.h"

using namespace std::chrono_literals;

namespace {

// Before any test starts a thread.
const CCurlGlobal curlSetUp;

class AddressDetection : public ::testing::Test {
protected:
    // A short retry period and time-out keep the slow cases quick.
    std::unique_ptr<CAddressDetector> MakeDetector(DetectionTiming timing = {200ms, 1000ms}) {
        return std::make_unique<CAddressDetector>(
            m_loop, [this] { return m_settings; },
            [this](const std::string& address) { m_applied.push_back(address); }, timing);
    }
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds deadline = 10s) {
        return m_loop.RunUntil(done, deadline);
    }

    EventLoop m_loop;
    EchoServer m_page;
    DetectionSettings m_settings;
    std::vector<std::string> m_applied;
};

}  // namespace

TEST(AddressTexts, RepliesAreAddressesOnlyAndUpdateValuesAreEncoded) {
    EXPECT_EQ(ParseAddressReply("Your IP: 203.0.113.7\n"), "203.0.113.7");
    EXPECT_EQ(ParseAddressReply("Your IP:10.1.2.3 \r\n"), "10.1.2.3");
    for (const char* refused :
         {"your ip: 10.1.2.3", "Your IP: 10.1.2.3; rm -rf /", "Your IP: 10.1.2.300",
          "Your IP:", "10.1.2.3", "Your IP: ::1", "Your IP: 0.0.0.0", "Your IP: 255.255.255.255",
          "Your IP: 127.0.0.1", "Your IP: 224.0.0.1", "Your IP: 240.1.2.3"})
        EXPECT_EQ(ParseAddressReply(refused), std::nullopt) << refused;
    EXPECT_EQ(ParseAddressReply(std::string("Your IP: 10.1.2.3\0x", 19)), std::nullopt);

    EXPECT_EQ(BuildUpdateUrl("https://dns.example/", "my host", "a&b#c=d%", "203.0.113.7", 2121),
              "https://dns.example/updateurl2.php?name=my%20host&password=a%26b%23c%3Dd%25"
              "&url=http%3A%2F%2F203.0.113.7%3A2121&name2=&password2=&url2=");

    EXPECT_EQ(UrlHost("HTTPS://user@dns.example:8443/base/"), "dns.example");
    EXPECT_EQ(UrlHost("http://[::1]:80/"), "[::1]");
    EXPECT_EQ(UrlHost("file:///etc/passwd"), "");
    EXPECT_EQ(UrlHost("ftp://host/"), "");
}

TEST_F(AddressDetection, FoundAddressBecomesPassiveAndTheUpdateArrivesIntact) {
    m_settings = {true, 1, "my host", "p&ss#w rd", m_page.Url("/myip.php"), m_page.Url("/dns/")};
    auto detector = MakeDetector();
    ASSERT_TRUE(detector->StartDetection(2121));
    ASSERT_TRUE(RunUntil([&] { return detector->RepliesHandled() == 2; }));
    EXPECT_EQ(m_applied, std::vector<std::string>{"203.0.113.7"});
    EXPECT_TRUE(detector->AddressKnown());
    EXPECT_TRUE(m_page.Saw("GET /myip.php AGENT MyBorwserEx VERSION HTTP/1.0")) << m_page.Output();
    EXPECT_TRUE(m_page.Saw("UPDATE name=my host\n")) << m_page.Output();
    EXPECT_TRUE(m_page.Saw("UPDATE password=p&ss#w rd\n")) << m_page.Output();
    EXPECT_TRUE(m_page.Saw("UPDATE url=http://203.0.113.7:2121\n")) << m_page.Output();
    // The update page answers "Your IP:" too; that answer starts nothing further.
    RunUntil([] { return false; }, 400ms);
    EXPECT_EQ(detector->RequestsSent(), 2u);
    EXPECT_EQ(m_applied.size(), 1u);
}

TEST_F(AddressDetection, NothingIsSentWithoutServiceOrReason) {
    auto detector = MakeDetector();
    m_settings = {true, 1, "host", "pw", "", ""};  // no service addresses configured
    EXPECT_FALSE(detector->StartDetection(21));
    m_settings = {false, 0, "", "", m_page.Url("/myip.php"), ""};  // neither Auto nor Enable 1
    EXPECT_FALSE(detector->StartDetection(21));
    m_settings = {false, 2, "", "", m_page.Url("/myip.php"), ""};  // Enable 2 alone
    EXPECT_FALSE(detector->StartDetection(21));
    m_settings = {true, 0, "", "", "file:///etc/passwd", ""};  // not a web address
    EXPECT_FALSE(detector->StartDetection(21));
    detector->StartRetryTimer();
    RunUntil([] { return false; }, 500ms);
    EXPECT_EQ(detector->RequestsSent(), 0u);
    EXPECT_EQ(m_page.Output().find("GET"), std::string::npos) << m_page.Output();

    // A fixed PassiveIP with Enable 1: the lookup and the update run, the address stays.
    m_settings = {false, 1, "h", "p", m_page.Url("/myip.php"), m_page.Url("/")};
    ASSERT_TRUE(detector->StartDetection(21));
    ASSERT_TRUE(RunUntil([&] { return detector->RepliesHandled() == 2; }));
    EXPECT_TRUE(m_applied.empty());
    EXPECT_TRUE(m_page.Saw("UPDATE url=http://203.0.113.7:21\n")) << m_page.Output();
}

TEST_F(AddressDetection, RedirectErrorGarbageAndSlowRepliesLeaveTheAddressUnknown) {
    auto detector = MakeDetector();
    std::size_t started = 0;
    for (const char* path :
         {"/redirect/myip.php", "/error/myip.php", "/garbage/myip.php", "/slow/myip.php"}) {
        m_settings = {true, 1, "h", "p", m_page.Url(path), m_page.Url("/")};
        ASSERT_TRUE(detector->StartDetection(21)) << path;
        EXPECT_FALSE(detector->StartDetection(21)) << path;  // one lookup at a time
        ++started;
        ASSERT_TRUE(RunUntil([&] { return detector->RepliesHandled() == started; })) << path;
    }
    EXPECT_TRUE(m_applied.empty());
    EXPECT_FALSE(detector->AddressKnown());
    EXPECT_EQ(detector->RequestsSent(), started);  // no update, no redirect followed
    EXPECT_EQ(m_page.Output().find("GET /myip.php"), std::string::npos) << m_page.Output();
}

TEST_F(AddressDetection, RetriesUntilAnAddressArrivesThenStops) {
    m_settings = {true, 0, "", "", m_page.Url("/flaky/myip.php"), ""};
    auto detector = MakeDetector({100ms, 2000ms});
    ASSERT_TRUE(detector->StartDetection(21));
    detector->StartRetryTimer();
    ASSERT_TRUE(RunUntil([&] { return detector->AddressKnown(); }));
    EXPECT_EQ(m_applied, std::vector<std::string>{"203.0.113.7"});
    EXPECT_EQ(detector->RequestsSent(), 3u);  // two failures, then the address
    RunUntil([] { return false; }, 500ms);
    EXPECT_EQ(detector->RequestsSent(), 3u);
}
