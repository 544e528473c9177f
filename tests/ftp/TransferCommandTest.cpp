// RETR, STOR and APPE: offsets, limits, quotas, and the faults a transfer meets.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "server/FtpServer.h"
#include "tests/ftp/TransferFixture.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

class Transfers : public TransferTest {
protected:
    std::string Retr(RawFtpClient& client, const std::string& name, std::string& finalReply) {
        DataChannel data;
        EXPECT_TRUE(data.Connect(Pasv(client)));
        client.SendLine("RETR " + name);
        EXPECT_EQ(client.Reply(), "150 File status okay; about to open data connection.");
        std::string bytes = data.ReadAll();
        finalReply = client.Reply();
        return bytes;
    }
    // Uploads `bytes` with `command` ("STOR x", "APPE x"); returns the final reply.
    std::string Upload(RawFtpClient& client, const std::string& command, const std::string& bytes) {
        DataChannel data;
        EXPECT_TRUE(data.Connect(Pasv(client)));
        client.SendLine(command);
        const std::string first = client.Reply();
        if (first != "150 File status okay; about to open data connection.") return first;
        data.SendAll(bytes);
        data.Close();
        return client.Reply();
    }
};

TEST_F(Transfers, RetrHonoursRestartOffsetsUpToTheEnd) {
    const std::string bytes = MakeFile("five.bin", 5000);
    auto client = LoggedIn();
    std::string reply;
    client->SendLine("REST 1000");
    client->Reply();
    EXPECT_EQ(Retr(*client, "five.bin", reply), bytes.substr(1000));
    EXPECT_EQ(reply, "226 Transfer complete.");
    // At the end: the client has it all. Past it: refused, never the file again.
    client->SendLine("REST 5000");
    client->Reply();
    EXPECT_EQ(Retr(*client, "five.bin", reply), "");
    EXPECT_EQ(reply, "226 Transfer complete.");
    client->SendLine("REST 6000");
    client->Reply();
    client->SendLine("RETR five.bin");
    EXPECT_EQ(client->Reply(), "554 Invalid REST parameter.");
    // The offset was used up by the transfer, and forgotten by the refusal.
    EXPECT_EQ(Retr(*client, "five.bin", reply), bytes);
    client->SendLine("RETR missing.bin");
    EXPECT_EQ(client->Reply(), "550 File not found.");
    EXPECT_TRUE(WaitForEvents(TransferEvent::DownloadDone, 3));
}

TEST_F(Transfers, LargeDownloadIsExactAndCounted) {
    const std::string bytes = MakeFile("big.bin", 3 * 1024 * 1024 + 17);
    auto client = LoggedIn();
    std::string reply;
    EXPECT_TRUE(Retr(*client, "big.bin", reply) == bytes);
    EXPECT_EQ(reply, "226 Transfer complete.");
    EXPECT_TRUE(m_harness.WaitUntil(
        [&](CFtpServer& server) {
            return server.BytesSent() >= static_cast<std::int64_t>(bytes.size());
        },
        seconds(5)));
}

TEST_F(Transfers, StorReplacesAppeAppendsAndRestKeepsThePrefix) {
    WriteFile(m_home + "/old.txt", std::string(300, 'o'));
    auto client = LoggedIn();
    const std::string added = Pattern(5000, 3);
    EXPECT_EQ(Upload(*client, "APPE old.txt", added), "226 Transfer complete.");
    EXPECT_EQ(ReadFile(m_home + "/old.txt"), std::string(300, 'o') + added);

    EXPECT_EQ(Upload(*client, "STOR old.txt", "short"), "226 Transfer complete.");
    EXPECT_EQ(ReadFile(m_home + "/old.txt"), "short");

    // A resumed upload keeps the first n bytes and writes the rest after them.
    const std::string whole = Pattern(9000, 5);
    WriteFile(m_home + "/resume.bin", whole.substr(0, 4000) + "garbage-after-the-break");
    client->SendLine("REST 4000");
    client->Reply();
    EXPECT_EQ(Upload(*client, "STOR resume.bin", whole.substr(4000)), "226 Transfer complete.");
    EXPECT_EQ(ReadFile(m_home + "/resume.bin"), whole);

    // An offset past the end is refused before anything is touched, and then forgotten.
    client->SendLine("REST 999999");
    client->Reply();
    client->SendLine("STOR resume.bin");
    EXPECT_EQ(client->Reply(), "554 Invalid REST parameter.");
    EXPECT_EQ(ReadFile(m_home + "/resume.bin"), whole);
    EXPECT_EQ(Upload(*client, "STOR fresh.bin", "new"), "226 Transfer complete.");
    EXPECT_EQ(ReadFile(m_home + "/fresh.bin"), "new");
    EXPECT_TRUE(WaitForEvents(TransferEvent::UploadDone, 4));
}

// One passive port serves transfer after transfer, its TIME_WAIT connections
// notwithstanding; a resume at the file's exact length writes on without cutting.
TEST_F(Transfers, SinglePortRangeServesSequentialTransfers) {
    std::uint16_t port = 0;
    for (int attempt = 0; attempt < 200 && port == 0; ++attempt) {
        const auto base = static_cast<std::uint16_t>(20000 + (::getpid() * 11 + attempt) % 10000);
        port = static_cast<std::uint16_t>(HeldPort(base).Port());
    }
    ASSERT_NE(port, 0);
    m_harness.RunOnServer([&](CFtpServer& server) { server.SetPassiveRange(port, port); });
    auto client = LoggedIn();
    const std::string whole = Pattern(6000, 7);
    EXPECT_EQ(Upload(*client, "STOR one.bin", whole.substr(0, 2500)), "226 Transfer complete.");
    client->SendLine("REST 2500");
    client->Reply();
    EXPECT_EQ(Upload(*client, "STOR one.bin", whole.substr(2500)), "226 Transfer complete.");
    std::string reply;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Retr(*client, "one.bin", reply), whole);
        EXPECT_EQ(reply, "226 Transfer complete.");
    }
}

// A range of port 0 alone binds where the system chooses; PASV must name that port.
TEST_F(Transfers, PassiveRangeOfPortZeroNamesThePortTheSystemChose) {
    m_harness.RunOnServer([&](CFtpServer& server) { server.SetPassiveRange(0, 0); });
    auto client = LoggedIn();
    const std::string whole = Pattern(3000, 3);
    EXPECT_EQ(Upload(*client, "STOR zero.bin", whole), "226 Transfer complete.");
    std::string reply;
    EXPECT_EQ(Retr(*client, "zero.bin", reply), whole);
    EXPECT_EQ(reply, "226 Transfer complete.");
}

TEST_F(Transfers, QuotaRefusesAtTheStartAndStopsMidUpload) {
    SaveAlice([](UserRecord& user) {
        user.quotaMax = 10;
        user.quotaCurrent = 10;
    });
    WriteFile(m_home + "/kept.txt", "kept");
    auto client = LoggedIn();
    EXPECT_EQ(Upload(*client, "STOR kept.txt", "x"), "452 Disk quota exceeded. Transfer aborted.");
    EXPECT_EQ(ReadFile(m_home + "/kept.txt"), "kept");

    SaveAlice([](UserRecord& user) { user.quotaCurrent = 0; });
    const std::string bytes = Pattern(20000);
    EXPECT_EQ(Upload(*client, "STOR big.bin", bytes), "452 Disk quota exceeded. Transfer aborted.");
    const std::string stored = ReadFile(m_home + "/big.bin");
    EXPECT_LT(stored.size(), 10240u);
    EXPECT_EQ(stored, bytes.substr(0, stored.size()));
    client->SendLine("NOOP");  // the booking is done before the next command runs
    EXPECT_EQ(client->Reply(), "200 NOOP command successful.");
    const double booked = ReadAlice().quotaCurrent;
    EXPECT_GE(booked, 9);  // the refused chunk stays counted
    EXPECT_LE(booked, 14);

    SaveAlice([](UserRecord& user) {
        user.quotaMax = 100;
        user.quotaCurrent = 0;
    });
    EXPECT_EQ(Upload(*client, "STOR small.bin", Pattern(1500)), "226 Transfer complete.");
    client->SendLine("NOOP");
    client->Reply();
    EXPECT_EQ(ReadAlice().quotaCurrent, 2);  // every started KiB counts
    // Uploads just short of a KiB cannot add up unbooked; an empty one books nothing.
    for (const char* name : {"a", "b", "c"})
        EXPECT_EQ(Upload(*client, std::string("STOR ") + name, Pattern(1023)),
                  "226 Transfer complete.");
    EXPECT_EQ(Upload(*client, "STOR empty", ""), "226 Transfer complete.");
    client->SendLine("NOOP");
    client->Reply();
    EXPECT_EQ(ReadAlice().quotaCurrent, 5);
    // Deleting them gives back what they booked, no less.
    for (const char* name : {"a", "b", "c"}) {
        client->SendLine(std::string("DELE ") + name);
        EXPECT_EQ(client->Reply().substr(0, 4), "250 ");
    }
    client->SendLine("NOOP");  // the refund follows the reply
    client->Reply();
    EXPECT_EQ(ReadAlice().quotaCurrent, 2);
}

// A named pipe would hold the session thread in open() and a directory cannot be
// written: transfers take regular files only, and say so before any 150. Names that
// would forge lines are refused before any 150 too.
TEST_F(Transfers, OnlyRegularFilesWithSafeNamesAreTransferred) {
    ASSERT_EQ(::mkfifo((m_home + "/pipe").c_str(), 0600), 0);
    std::filesystem::create_directory(m_home + "/sub");
    auto client = LoggedIn();
    const std::pair<std::string, std::string> refusals[] = {
        {"RETR pipe", "550 Not a regular file."},
        {"STOR pipe", "550 Not a regular file."},
        {"APPE pipe", "550 Not a regular file."},
        {"STOR sub", "550 Not a regular file."},
        {"STOR a\nb", "553 Requested action not taken. File name not allowed."},
        {"APPE a\rb", "553 Requested action not taken. File name not allowed."},
    };
    for (const auto& [line, reply] : refusals) {
        client->SendLine(line);
        EXPECT_EQ(client->Reply(seconds(2)), reply) << line;
    }
    EXPECT_FALSE(std::filesystem::exists(m_home + "/a\nb"));
    std::string final;
    EXPECT_EQ(Upload(*client, "STOR ok.txt", "fine"), "226 Transfer complete.");
    EXPECT_EQ(Retr(*client, "ok.txt", final), "fine");
    EXPECT_EQ(final, "226 Transfer complete.");
}

TEST_F(Transfers, SecondUploadToTheSameFileIsRefused) {
    auto first = LoggedIn();
    auto second = LoggedIn();
    DataChannel data;
    ASSERT_TRUE(data.Connect(Pasv(*first)));
    first->SendLine("STOR same.bin");
    EXPECT_EQ(first->Reply(), "150 File status okay; about to open data connection.");
    data.SendAll("first-part/");
    std::this_thread::sleep_for(milliseconds(100));
    DataChannel other;
    ASSERT_TRUE(other.Connect(Pasv(*second)));
    second->SendLine("STOR same.bin");
    EXPECT_EQ(second->Reply(), "150 File status okay; about to open data connection.");
    EXPECT_EQ(second->Reply(), "450 Can't access file.");
    data.SendAll("second-part");
    data.Close();
    EXPECT_EQ(first->Reply(), "226 Transfer complete.");
    EXPECT_EQ(ReadFile(m_home + "/same.bin"), "first-part/second-part");
}

TEST_F(Transfers, ClientClosingMidTransferEndsItCleanly) {
    MakeFile("big.bin", 8 * 1024 * 1024);
    auto client = LoggedIn();
    DataChannel data;
    ASSERT_TRUE(data.Connect(Pasv(*client)));
    client->SendLine("RETR big.bin");
    EXPECT_EQ(client->Reply(), "150 File status okay; about to open data connection.");
    data.ReadSome(100000);
    data.Reset();
    EXPECT_EQ(client->Reply(), "426 Connection closed.");

    // An upload cut off by an orderly close keeps what arrived.
    DataChannel up;
    ASSERT_TRUE(up.Connect(Pasv(*client)));
    client->SendLine("STOR part.bin");
    EXPECT_EQ(client->Reply(), "150 File status okay; about to open data connection.");
    up.SendAll("partial");
    up.Close();
    EXPECT_EQ(client->Reply(), "226 Transfer complete.");
    EXPECT_EQ(ReadFile(m_home + "/part.bin"), "partial");
    client->SendLine("NOOP");
    EXPECT_EQ(client->Reply(), "200 NOOP command successful.");
}

TEST_F(Transfers, AborDuringAHugeDownloadAnswersAtOnce) {
    {
        // Sparse: a gibibyte that takes no disk space.
        const int fd = ::open((m_home + "/huge.bin").c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 1LL << 30), 0);
        ::close(fd);
    }
    auto client = LoggedIn();
    DataChannel data;
    ASSERT_TRUE(data.Connect(Pasv(*client)));
    client->SendLine("RETR huge.bin");
    EXPECT_EQ(client->Reply(), "150 File status okay; about to open data connection.");
    data.ReadSome(1 << 20);
    const auto start = std::chrono::steady_clock::now();
    // As clients send it: Telnet interrupt and synch bytes in front of the keyword.
    client->SendLine(
        "\xff\xf4\xff\xf2"
        "ABOR");
    EXPECT_EQ(client->Reply(seconds(1)), "426 Data connection closed.");
    EXPECT_EQ(client->Reply(seconds(1)), "226 ABOR command successful.");
    EXPECT_LT(std::chrono::steady_clock::now() - start, seconds(1));
    EXPECT_TRUE(data.WaitClosed(seconds(2)));
    client->SendLine("NOOP");
    EXPECT_EQ(client->Reply(), "200 NOOP command successful.");
    // The aborted download is over: with only a passive socket waiting, ABOR has no
    // transfer to report closed.
    ASSERT_NE(Pasv(*client), 0);
    client->SendLine("ABOR");
    EXPECT_EQ(client->Reply(), "226 ABOR command successful.");
}

TEST_F(Transfers, QuitDuringADownloadEndsTheSession) {
    MakeFile("big.bin", 16 * 1024 * 1024);
    auto client = LoggedIn();
    DataChannel data;
    ASSERT_TRUE(data.Connect(Pasv(*client)));
    client->SendLine("RETR big.bin");
    EXPECT_EQ(client->Reply(), "150 File status okay; about to open data connection.");
    data.ReadSome(100000);
    client->SendLine("QUIT");
    EXPECT_EQ(client->Reply(), "220 Good bye!");
    EXPECT_TRUE(client->WaitClosed(seconds(3)));
    EXPECT_TRUE(data.WaitClosed(seconds(3)));
}

TEST_F(Transfers, FileThatShrinksDuringItsDownloadEndsIt) {
    // A speed limit keeps the download slow enough to cut the file under it.
    SaveAlice([](UserRecord& user) {
        user.downloadLimit = 1;
        user.downloadSpeed = 4;
    });
    MakeFile("shrinks.bin", 40 * 1024);
    auto client = LoggedIn();
    DataChannel data;
    ASSERT_TRUE(data.Connect(Pasv(*client)));
    client->SendLine("RETR shrinks.bin");
    EXPECT_EQ(client->Reply(), "150 File status okay; about to open data connection.");
    EXPECT_EQ(data.ReadSome(4096).size(), 4096u);
    std::filesystem::resize_file(m_home + "/shrinks.bin", 6000);
    EXPECT_EQ(client->Reply(seconds(5)), "426 Connection closed.");
    EXPECT_EQ(data.ReadAll(seconds(3)).size(), 6000u - 4096u);
    EXPECT_TRUE(WaitForEvents(TransferEvent::DownloadFailed, 1));
}

TEST_F(Transfers, DownloadLimitPacesChunksOfTheRate) {
    SaveAlice([](UserRecord& user) {
        user.downloadLimit = 1;
        user.downloadSpeed = 10;
    });
    const std::string bytes = MakeFile("paced.bin", 25 * 1024);
    auto client = LoggedIn();
    const auto start = std::chrono::steady_clock::now();
    std::string reply;
    EXPECT_TRUE(Retr(*client, "paced.bin", reply) == bytes);
    EXPECT_EQ(reply, "226 Transfer complete.");
    // Three one-second slots: 10240, 10240 and the last 5120 bytes.
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(2900));
    // The flag off leaves the speed unused.
    SaveAlice([](UserRecord& user) { user.downloadLimit = 0; });
    const auto again = std::chrono::steady_clock::now();
    EXPECT_TRUE(Retr(*client, "paced.bin", reply) == bytes);
    EXPECT_LT(std::chrono::steady_clock::now() - again, milliseconds(2000));
}

TEST_F(Transfers, UploadLimitStillStoresEveryByte) {
    SaveAlice([](UserRecord& user) {
        user.uploadLimit = 1;
        user.uploadSpeed = 8;
    });
    auto client = LoggedIn();
    const std::string bytes = Pattern(20 * 1024);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Upload(*client, "STOR limited.bin", bytes), "226 Transfer complete.");
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(1900));
    EXPECT_TRUE(ReadFile(m_home + "/limited.bin") == bytes);
}

}  // namespace
