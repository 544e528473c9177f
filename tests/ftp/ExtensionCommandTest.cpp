// FEAT, OPTS, MLSD, MLST, MDTM, MFMT and STAT against a running server.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <vector>

#include "accounts/AccountEditor.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "tests/ftp/TransferFixture.h"

namespace {

// 2021-02-03 04:05:06 UTC.
constexpr std::int64_t kFixedTime = 1612325106;
constexpr const char* kFixedText = "20210203040506";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "text does not end in CR LF";
    return lines;
}

// MLSD lines by name: the facts before the blank.
std::map<std::string, std::string> FactsByName(const std::string& text) {
    std::map<std::string, std::string> facts;
    for (const std::string& line : Lines(text)) {
        const auto blank = line.find(' ');
        EXPECT_NE(blank, std::string::npos) << line;
        if (blank != std::string::npos) facts[line.substr(blank + 1)] = line.substr(0, blank);
    }
    return facts;
}

PermissionSet Perms(std::initializer_list<Permission> granted) {
    PermissionSet set;
    for (Permission p : granted) set.granted[static_cast<std::size_t>(p)] = true;
    return set;
}

class ExtensionTest : public TransferTest {
protected:
    // Replies up to and including the line starting with `last`.
    std::vector<std::string> MultiLine(RawFtpClient& client, const std::string& last) {
        std::vector<std::string> lines;
        for (int i = 0; i < 100; ++i) {
            lines.push_back(client.Reply());
            if (lines.back().rfind(last, 0) == 0 || lines.back() == kNoReply) break;
        }
        return lines;
    }
    std::string Mlsd(RawFtpClient& client, const std::string& argument) {
        DataChannel data;
        EXPECT_TRUE(data.Connect(Pasv(client)));
        client.SendLine(argument.empty() ? "MLSD" : "MLSD " + argument);
        EXPECT_EQ(client.Reply(), "150 Accepted data connection.");
        std::string text = data.ReadAll();
        EXPECT_EQ(client.Reply(), "226 Transfer complete.");
        return text;
    }
};

TEST_F(ExtensionTest, FeatListsExactlyTheExtensionsAndOptsAnswersUtf8AndMlst) {
    RawFtpClient client;
    ASSERT_TRUE(client.Connect(m_harness.Port()));
    EXPECT_EQ(client.Reply(), "220 Welcome to Tarvona FTP Server!");
    client.SendLine("FEAT");  // allowed before login
    const std::vector<std::string> expected = {"211-Features:",
                                               " AUTH TLS",
                                               " EPRT",
                                               " EPSV",
                                               " HASH SHA-256*;SHA-512;SHA-1;MD5;CRC32",
                                               " MDTM",
                                               " MFMT",
                                               " MLST type*;size*;modify*;perm*;UNIX.mode*;",
                                               " MODE Z",
                                               " PBSZ",
                                               " PROT",
                                               " REST STREAM",
                                               " SIZE",
                                               " TVFS",
                                               " UTF8",
                                               "211 End"};
    EXPECT_EQ(MultiLine(client, "211 "), expected);
    const std::pair<const char*, const char*> opts[] = {
        {"OPTS UTF8 ON", "200 UTF8 set to on."},
        {"opts utf8 off", "200 UTF8 set to off."},
        {"OPTS MLST type;size;", "200 MLST OPTS type;size;"},
        {"OPTS MLSTX", "501 Option not understood."},
        {"OPTS", "501 Syntax error in parameters or arguments."},
    };
    for (const auto& [line, reply] : opts) {
        client.SendLine(line);
        EXPECT_EQ(client.Reply(), reply) << line;
    }
}

TEST_F(ExtensionTest, MlsdGivesFactsOfFilesDirectoriesAndVirtualFolders) {
    MakeFile("a.txt", 1234);
    std::filesystem::create_directory(m_home + "/sub");
    ::chmod((m_home + "/a.txt").c_str(), 0640);
    ASSERT_TRUE(SetModifyTime(m_home + "/a.txt", kFixedTime));
    ASSERT_TRUE(SetModifyTime(m_home + "/sub", kFixedTime));
    const std::string music = m_dir.Path("music");
    std::filesystem::create_directory(music);
    MakeFile("../music/song.mp3", 3);
    ::chmod(music.c_str(), 0750);
    ASSERT_TRUE(SetModifyTime(music, kFixedTime));
    // Home: read, write, append, list, create directory; no delete or renames. The
    // folder: list only.
    UserRecord alice = ReadAlice();
    alice.permissions = Perms({Permission::Read, Permission::Write, Permission::Append,
                               Permission::DirList, Permission::DirCreate});
    CAccountEditor editor(m_dir.ProgramDir());
    ASSERT_TRUE(
        editor.SaveUser(alice, {VirtualFolder{0, "Music", music, Perms({Permission::DirList})}}))
        << editor.GetLastError();

    auto client = LoggedIn();
    const std::string when = std::string("modify=") + kFixedText + ";";
    auto facts = FactsByName(Mlsd(*client, ""));
    EXPECT_EQ(facts.size(), 4u);  // ".", a.txt, sub, Music; no ".." at the top
    EXPECT_EQ(facts["a.txt"], "type=file;size=1234;" + when + "perm=rwa;UNIX.mode=0640;");
    EXPECT_EQ(facts["sub"].substr(0, facts["sub"].find("UNIX.mode")),
              "type=dir;" + when + "perm=elcm;");
    EXPECT_EQ(facts["Music"], "type=dir;" + when + "perm=el;UNIX.mode=0750;");
    EXPECT_EQ(facts["."].rfind("type=cdir;", 0), 0u) << facts["."];
    EXPECT_EQ(facts.count(".."), 0u);

    // Inside the folder: its own permissions, and the home directory as parent.
    facts = FactsByName(Mlsd(*client, "/Music"));
    EXPECT_EQ(facts.size(), 3u);
    EXPECT_NE(facts["song.mp3"].find(";perm=;"), std::string::npos) << facts["song.mp3"];
    EXPECT_NE(facts["."].find("type=cdir;" + when + "perm=el;"), std::string::npos) << facts["."];
    EXPECT_NE(facts[".."].find("type=pdir;"), std::string::npos) << facts[".."];
    EXPECT_NE(facts[".."].find("perm=elcm;"), std::string::npos) << facts[".."];
}

TEST_F(ExtensionTest, MlsdAndMlstRefuseAsListDoes) {
    MakeFile("a.txt", 5);
    auto client = LoggedIn();
    client->SendLine("MLSD nothere");
    EXPECT_EQ(client->Reply(), "550 \"nothere\": Directory not found.");
    client->SendLine("MLSD a.txt");
    EXPECT_EQ(client->Reply(), "501 \"a.txt\": Not a directory.");
    client->SendLine("MLST nothere");
    EXPECT_EQ(client->Reply(), "550 \"nothere\": Directory not found.");
    SaveAlice([](UserRecord& user) { user.permissions = Perms({Permission::Read}); });
    client->SendLine("MLSD");
    EXPECT_EQ(client->Reply(), "550 \"\": No permission.");
    client->SendLine("MLST a.txt");
    EXPECT_EQ(client->Reply(), "550 \"a.txt\": No permission.");
}

TEST_F(ExtensionTest, MlstAnswersOnTheControlConnection) {
    MakeFile("a.txt", 77);
    ::chmod((m_home + "/a.txt").c_str(), 0600);
    ASSERT_TRUE(SetModifyTime(m_home + "/a.txt", kFixedTime));
    std::filesystem::create_directory(m_home + "/sub");
    auto client = LoggedIn();
    client->SendLine("MLST a.txt");
    EXPECT_EQ(client->Reply(), "250-Listing /a.txt");
    EXPECT_EQ(client->Reply(), std::string(" type=file;size=77;modify=") + kFixedText +
                                   ";perm=rwadf;UNIX.mode=0600; /a.txt");
    EXPECT_EQ(client->Reply(), "250 End");
    client->SendLine("CWD sub");
    EXPECT_EQ(client->Reply().substr(0, 4), "250 ");
    client->SendLine("MLST");
    EXPECT_EQ(client->Reply(), "250-Listing /sub");
    const std::string facts = client->Reply();
    EXPECT_EQ(facts.rfind(" type=dir;modify=", 0), 0u) << facts;
    EXPECT_NE(facts.find(";perm=elcmdf;UNIX.mode="), std::string::npos) << facts;
    EXPECT_EQ(facts.substr(facts.size() - 5), " /sub");
    EXPECT_EQ(client->Reply(), "250 End");
}

// OPTS MLST chooses the facts of this session's MLST and MLSD; FEAT marks the choice.
TEST_F(ExtensionTest, OptsMlstSelectsTheFactsShown) {
    MakeFile("a.txt", 77);
    ASSERT_TRUE(SetModifyTime(m_home + "/a.txt", kFixedTime));
    auto client = LoggedIn();
    auto other = LoggedIn();
    const std::pair<const char*, const char*> selections[] = {
        {"OPTS MLST size;Modify;bogus;TYPE", "200 MLST OPTS type;size;modify;"},
        {"OPTS MLST", "200 MLST OPTS"},
        {"OPTS MLST perm;unix.MODE;", "200 MLST OPTS perm;UNIX.mode;"},
        {"OPTS MLST size;modify;", "200 MLST OPTS size;modify;"},
    };
    for (const auto& [line, reply] : selections) {
        client->SendLine(line);
        EXPECT_EQ(client->Reply(), reply) << line;
    }
    client->SendLine("FEAT");
    const std::vector<std::string> feat = MultiLine(*client, "211 ");
    EXPECT_NE(std::find(feat.begin(), feat.end(), " MLST type;size*;modify*;perm;UNIX.mode;"),
              feat.end());
    client->SendLine("MLST a.txt");
    EXPECT_EQ(client->Reply(), "250-Listing /a.txt");
    EXPECT_EQ(client->Reply(), std::string(" size=77;modify=") + kFixedText + "; /a.txt");
    EXPECT_EQ(client->Reply(), "250 End");
    EXPECT_EQ(FactsByName(Mlsd(*client, ""))["a.txt"],
              std::string("size=77;modify=") + kFixedText + ";");
    // The choice belongs to the session that made it.
    other->SendLine("MLST a.txt");
    EXPECT_EQ(other->Reply(), "250-Listing /a.txt");
    EXPECT_EQ(other->Reply().rfind(" type=file;size=77;modify=", 0), 0u);
}

TEST_F(ExtensionTest, MfmtSetsWhatMdtmReports) {
    MakeFile("a.txt", 5);
    auto client = LoggedIn();
    client->SendLine(std::string("MFMT ") + kFixedText + " a.txt");
    EXPECT_EQ(client->Reply(), std::string("213 Modify=") + kFixedText + "; a.txt");
    client->SendLine("MDTM a.txt");
    EXPECT_EQ(client->Reply(), std::string("213 ") + kFixedText);
    struct stat info {};
    ASSERT_EQ(::stat((m_home + "/a.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, kFixedTime);
    const std::pair<const char*, const char*> bad[] = {
        {"MFMT 2021 a.txt", "501 Syntax error in parameters or arguments."},
        {"MFMT 20210203040506", "501 Syntax error in parameters or arguments."},
        {"MFMT 20210203040506 missing.txt", "550 File unavailable."},
        {"MDTM missing.txt", "550 File unavailable."},
    };
    for (const auto& [line, reply] : bad) {
        client->SendLine(line);
        EXPECT_EQ(client->Reply(), reply) << line;
    }
    SaveAlice([](UserRecord& user) { user.permissions = Perms({Permission::DirList}); });
    client->SendLine("MFMT 20200101000000 a.txt");
    EXPECT_EQ(client->Reply(), "550 No permission.");
    client->SendLine("MDTM a.txt");
    EXPECT_EQ(client->Reply(), "550 No permission.");
    ASSERT_EQ(::stat((m_home + "/a.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, kFixedTime);
}

TEST_F(ExtensionTest, MfmtRefusesDaysThatDoNotExistAndReportsTheStoredTime) {
    MakeFile("a.txt", 5);
    auto client = LoggedIn();
    for (const char* day : {"20210229000000", "21000229000000", "20200431000000", "00000101000000",
                            "20211301000000", "20210100000000", "20210132000000"}) {
        client->SendLine(std::string("MFMT ") + day + " a.txt");
        EXPECT_EQ(client->Reply(), "501 Syntax error in parameters or arguments.") << day;
    }
    client->SendLine("MFMT 20000229120000 a.txt");
    EXPECT_EQ(client->Reply(), "213 Modify=20000229120000; a.txt");
    // A file system whose range ends before 9999 keeps another time: the reply shows it.
    client->SendLine("MFMT 99991231235959 a.txt");
    struct stat info {};
    const std::string reply = client->Reply();
    ASSERT_EQ(::stat((m_home + "/a.txt").c_str(), &info), 0);
    EXPECT_EQ(reply, "213 Modify=" + FormatUtcTime(info.st_mtime, "%Y%m%d%H%M%S") + "; a.txt");
}

TEST_F(ExtensionTest, StatShowsTheSessionOrTheListOfAPath) {
    MakeFile("a.txt", 1234);
    std::filesystem::create_directory(m_home + "/sub");
    auto client = LoggedIn();
    client->SendLine("TYPE I");
    EXPECT_EQ(client->Reply(), "200 Type is now I");
    client->SendLine("STAT");
    std::vector<std::string> status = MultiLine(*client, "211 ");
    ASSERT_EQ(status.size(), 8u);
    // The byte counts include the control connection's own traffic.
    EXPECT_EQ(status[6].rfind(" 0 transfers completed; ", 0), 0u) << status[6];
    status.erase(status.begin() + 6);
    const std::vector<std::string> expected = {"211-Tarvona FTP Server status:",
                                               " Connected from 127.0.0.1",
                                               " Logged in as alice",
                                               " TYPE: I",
                                               " Control connection: clear",
                                               " Data connection: none",
                                               "211 End of status"};
    EXPECT_EQ(status, expected);

    client->SendLine("STAT /");
    const std::vector<std::string> listing = MultiLine(*client, "213 ");
    ASSERT_EQ(listing.size(), 4u);
    EXPECT_EQ(listing.front(), "213-Status of /:");
    EXPECT_EQ(listing.back(), "213 End of status");
    // The lines LIST sends, in the same order.
    DataChannel data;
    ASSERT_TRUE(data.Connect(Pasv(*client)));
    client->SendLine("LIST /");
    EXPECT_EQ(client->Reply(), "150 Accepted data connection.");
    const std::vector<std::string> listed = Lines(data.ReadAll());
    EXPECT_EQ(client->Reply(), "226 Transfer complete.");
    EXPECT_EQ(std::vector<std::string>(listing.begin() + 1, listing.end() - 1), listed);

    client->SendLine("STAT nothere");
    EXPECT_EQ(client->Reply(), "550 \"nothere\": Directory not found.");
    SaveAlice([](UserRecord& user) { user.permissions = Perms({Permission::Read}); });
    client->SendLine("STAT sub");
    EXPECT_EQ(client->Reply(), "550 \"sub\": No permission.");
    client->SendLine("NOOP");  // the session goes on
    EXPECT_EQ(client->Reply(), "200 NOOP command successful.");
}

}  // namespace
