// Listing lines, their dates, and LIST/NLST over a real data connection.
#include <sys/stat.h>
#include <utime.h>

#include <algorithm>
#include <ctime>
#include <filesystem>

#include "accounts/AccountEditor.h"
#include "ftp/ListFormat.h"
#include "tests/ftp/TransferFixture.h"

namespace {

constexpr std::int64_t kDay = 86400;

// A local time well inside a day, so that no time zone moves it to another date.
std::int64_t LocalNoon(int year, int month, int day, int hour = 13, int minute = 7) {
    std::tm when{};
    when.tm_year = year - 1900;
    when.tm_mon = month - 1;
    when.tm_mday = day;
    when.tm_hour = hour;
    when.tm_min = minute;
    when.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&when));
}

void SetMtime(const std::string& path, std::int64_t when) {
    utimbuf times{static_cast<time_t>(when), static_cast<time_t>(when)};
    ASSERT_EQ(::utime(path.c_str(), &times), 0);
}

TEST(ListFormat, LineLayoutIsFixedColumnByColumn) {
    const std::int64_t written = LocalNoon(2024, 1, 5);
    DirEntry file{"report.txt", false, 1234, written};
    EXPECT_EQ(FormatListLine(file, written + 10 * kDay),
              "-rwx------ 1 user group           1234 Jan 05 13:07 report.txt\r\n");
    DirEntry dir{"docs", true, 4096, written};
    EXPECT_EQ(FormatListLine(dir, written),
              "drwx------ 1 user group              0 Jan 05 13:07 docs\r\n");
    DirEntry huge{"big", false, 123456789012345678LL, written};
    EXPECT_EQ(FormatListLine(huge, written),
              "-rwx------ 1 user group 123456789012345678 Jan 05 13:07 big\r\n");
    EXPECT_EQ(FormatFolderLine("Music", DirEntry{"x", true, 0, written}, written),
              "drwx------ 1 user group              0 Jan 05 13:07 Music\r\n");
}

TEST(ListFormat, DateShowsTheYearOnlyAfter356WholeDays) {
    const std::int64_t written = LocalNoon(2004, 3, 7, 9, 5);
    EXPECT_EQ(FormatListDate(written, written + 357 * kDay), " Mar 07 2004 ");
    EXPECT_EQ(FormatListDate(written, written + 356 * kDay + 23 * 3600), " Mar 07 09:05 ");
    EXPECT_EQ(FormatListDate(written, written - 400 * kDay), " Mar 07 09:05 ");  // future
    EXPECT_EQ(FormatListDate(written, written), " Mar 07 09:05 ");
}

TEST_F(TransferTest, ListShowsEntriesThenVirtualFoldersOfUserAndGroups) {
    MakeFile("a.txt", 1234);
    std::filesystem::create_directory(m_home + "/sub");
    MakeFile("sub/inner.txt", 5);
    const std::string music = m_dir.Path("music");
    const std::string shared = m_dir.Path("shared");
    std::filesystem::create_directory(music);
    std::filesystem::create_directory(shared);
    CAccountEditor editor(m_dir.ProgramDir());
    GroupRecord group;
    group.name = "staff";
    ASSERT_TRUE(editor.SaveGroup(group, {VirtualFolder{0, "Shared", shared, {}}}))
        << editor.GetLastError();
    UserRecord alice = ReadAlice();
    alice.groups = std::to_string(group.id);
    ASSERT_TRUE(editor.SaveUser(alice, {VirtualFolder{0, " Music ", music, {}},
                                        VirtualFolder{0, "Gone", m_dir.Path("missing"), {}}}))
        << editor.GetLastError();

    auto client = LoggedIn();
    DataChannel data;
    ASSERT_TRUE(data.Connect(Pasv(*client)));
    client->SendLine("NLST /");
    EXPECT_EQ(client->Reply(), "150 Accepted data connection.");
    const std::string names = data.ReadAll();
    EXPECT_EQ(client->Reply(), "226 Transfer complete.");
    // Real entries come in file-system order, then the folders in record order; a
    // folder whose directory is missing is left out.
    EXPECT_TRUE(names == "a.txt\r\nsub\r\nMusic\r\nShared\r\n" ||
                names == "sub\r\na.txt\r\nMusic\r\nShared\r\n")
        << names;

    DataChannel long_;
    ASSERT_TRUE(long_.Connect(Pasv(*client)));
    client->SendLine("LIST");
    EXPECT_EQ(client->Reply(), "150 Accepted data connection.");
    const std::string lines = long_.ReadAll();
    EXPECT_EQ(client->Reply(), "226 Transfer complete.");
    EXPECT_NE(lines.find("-rwx------ 1 user group           1234 "), std::string::npos) << lines;
    EXPECT_NE(lines.find(" a.txt\r\n"), std::string::npos);
    EXPECT_NE(lines.find("drwx------ 1 user group              0 "), std::string::npos);
    EXPECT_NE(lines.find(" Music\r\n"), std::string::npos);

    // A sub-directory shows no folders; a file argument lists that file alone.
    DataChannel sub;
    ASSERT_TRUE(sub.Connect(Pasv(*client)));
    client->SendLine("NLST sub");
    EXPECT_EQ(client->Reply(), "150 Accepted data connection.");
    EXPECT_EQ(sub.ReadAll(), "inner.txt\r\n");
    EXPECT_EQ(client->Reply(), "226 Transfer complete.");
    DataChannel one;
    ASSERT_TRUE(one.Connect(Pasv(*client)));
    client->SendLine("NLST a.txt");
    EXPECT_EQ(client->Reply(), "150 Accepted data connection.");
    EXPECT_EQ(one.ReadAll(), "a.txt\r\n");
    EXPECT_EQ(client->Reply(), "226 Transfer complete.");
}

// Clients send ls options ("LIST -la", "NLST -l"); they are skipped, NLST stays names
// only, and a name holding CR or LF on disk is shown with "?" so it cannot forge a line.
TEST_F(TransferTest, ListOptionsAreSkippedAndLineBreaksInNamesAreReplaced) {
    MakeFile("evil\r\n-rwx------ 1 user group 1 Jan 01 00:00 forged", 3);
    std::filesystem::create_directory(m_home + "/sub");
    MakeFile("sub/inner.txt", 5);
    auto client = LoggedIn();
    const auto list = [&](const std::string& line) {
        DataChannel data;
        EXPECT_TRUE(data.Connect(Pasv(*client)));
        client->SendLine(line);
        EXPECT_EQ(client->Reply(), "150 Accepted data connection.") << line;
        std::string text = data.ReadAll();
        EXPECT_EQ(client->Reply(), "226 Transfer complete.") << line;
        return text;
    };
    const std::string safeName =
        "evil?"
        "?-rwx------ 1 user group 1 Jan 01 00:00 forged";
    const std::string names = list("NLST");
    EXPECT_NE(names.find(safeName + "\r\n"), std::string::npos) << names;
    EXPECT_EQ(list("NLST -l"), names);
    EXPECT_EQ(list("NLST -a -l sub"), "inner.txt\r\n");
    const std::string lines = list("LIST -la");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 2) << lines;
    EXPECT_NE(lines.find(" " + safeName + "\r\n"), std::string::npos) << lines;
    EXPECT_NE(list("LIST -a sub").find(" inner.txt\r\n"), std::string::npos);
    const std::string machine = list("MLSD");
    EXPECT_NE(machine.find("; " + safeName + "\r\n"), std::string::npos) << machine;
    // A directory name on disk with a line break does not forge CWD or PWD replies.
    std::filesystem::create_directory(m_home + "/a\nb");
    client->SendLine("CWD a\nb");
    EXPECT_EQ(client->Reply(), "250 CWD command successful \"/a?b\" is current directory.");
    client->SendLine("PWD");
    EXPECT_EQ(client->Reply(), "257 \"/a?b\" is current directory.");
}

TEST_F(TransferTest, ListRefusalsComeBeforeAnyDataConnection) {
    auto client = LoggedIn();
    for (const char* argument : {"*.txt", "nowhere", "-la nowhere"}) {
        client->SendLine(std::string("LIST ") + argument);
        const std::string path = std::string(argument).substr(std::string(argument).rfind(' ') + 1);
        EXPECT_EQ(client->Reply(), "550 \"" + path + "\": Directory not found.");
    }
    std::filesystem::create_directory(m_home + "/empty");
    DataChannel data;
    ASSERT_TRUE(data.Connect(Pasv(*client)));
    client->SendLine("LIST empty");
    EXPECT_EQ(client->Reply(), "150 Accepted data connection.");
    EXPECT_EQ(data.ReadAll(), "");
    EXPECT_EQ(client->Reply(), "226 Transfer complete.");
    SaveAlice([](UserRecord& user) { user.permissions.granted[5] = false; });
    client->SendLine("LIST");
    EXPECT_EQ(client->Reply(), "550 \"\": No permission.");
}

TEST_F(TransferTest, LongListingArrivesWholeAndDatesFollowTheFile) {
    for (int i = 0; i < 200; ++i) MakeFile("file-with-a-long-name-" + std::to_string(i), 1);
    SetMtime(m_home + "/file-with-a-long-name-7", LocalNoon(2001, 2, 3));
    auto client = LoggedIn();
    DataChannel data;
    ASSERT_TRUE(data.Connect(Pasv(*client)));
    client->SendLine("LIST");
    EXPECT_EQ(client->Reply(), "150 Accepted data connection.");
    const std::string text = data.ReadAll();
    EXPECT_EQ(client->Reply(), "226 Transfer complete.");
    EXPECT_GT(text.size(), 3 * 4096u);
    std::size_t lines = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos;
         at = text.find("\r\n", at + 2))
        ++lines;
    EXPECT_EQ(lines, 200u);
    EXPECT_NE(text.find(" Feb 03 2001 file-with-a-long-name-7\r\n"), std::string::npos);
}

TEST_F(TransferTest, ClientClosingDuringAListingGetsConnectionClosed) {
    for (int i = 0; i < 3000; ++i) MakeFile("entry-" + std::to_string(i), 0);
    auto client = LoggedIn();
    DataChannel data;
    ASSERT_TRUE(data.Connect(Pasv(*client)));
    client->SendLine("LIST");
    EXPECT_EQ(client->Reply(), "150 Accepted data connection.");
    data.ReadSome(1000);
    data.Reset();
    const std::string reply = client->Reply();
    // The whole listing may already sit in the socket buffers when the reset comes.
    EXPECT_TRUE(reply == "426 Connection closed." || reply == "226 Transfer complete.") << reply;
    client->SendLine("NOOP");
    EXPECT_EQ(client->Reply(), "200 NOOP command successful.");
}

}  // namespace
