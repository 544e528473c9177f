#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "config/LogFile.h"
#include "config/LogLine.h"
#include "tests/support/TempDir.h"

namespace {

using namespace std::string_literals;

std::time_t LocalMoment(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

std::vector<std::string> SplitCrLf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "text after the last CR LF";
    return lines;
}

TEST(LogLine, StampsLocalTimeAndKeepsTheTextOnOneLine) {
    const std::time_t when = LocalMoment(2026, 12, 7, 22, 5, 9);
    EXPECT_EQ(MakeLogLine("Server is running on port 21.", when),
              "[2026-12-07 22:05:09]  Server is running on port 21.");
    EXPECT_EQ(MakeLogLine(">> USER a\r\n[2026-12-07 22:05:09]  forged\0x"s, when),
              "[2026-12-07 22:05:09]  >> USER a??[2026-12-07 22:05:09]  forged?x");
    // Terminal escapes, tabs and DEL are no more raw than line breaks.
    EXPECT_EQ(MakeLogLine("\x1b]0;pwned\x07\x1b[2J\tok\x7f\x1f~", when),
              "[2026-12-07 22:05:09]  ?]0;pwned??[2J?ok??~");
    // C1 controls (CSI, NEL) and bytes that are not UTF-8 neither; other characters stay,
    // whatever their bytes (U+00E9 is C3 A9, U+20AC E2 82 AC, U+1F600 F0 9F 98 80).
    EXPECT_EQ(MakeLogLine("\xc2\x9b"
                          "2J\xc2\x85\xc2\xa0\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80",
                          when),
              "[2026-12-07 22:05:09]  ?2J?\xc2\xa0\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80");
    // Stray continuation, overlong "/", surrogate, past U+10FFFF, cut sequence at the end.
    EXPECT_EQ(MakeLogLine("\x9b|\xc0\xaf|\xed\xa0\x80|\xf4\x90\x80\x80|\xe2\x82", when),
              "[2026-12-07 22:05:09]  ?|??|???|????|??");
}

TEST(LogLine, MasksEveryFormOfPass) {
    EXPECT_EQ(MaskPassword("PASS secret"), ">> PASS ****");
    EXPECT_EQ(MaskPassword("pass secret word"), ">> PASS ****");
    EXPECT_EQ(MaskPassword("  PaSs x"), ">> PASS ****");
    EXPECT_EQ(MaskPassword("PASS"), ">> PASS ****");
    EXPECT_EQ(MaskPassword("PASS\tsecret"), ">> PASS ****");
    EXPECT_EQ(MaskPassword("PASSWORD x"), ">> PASSWORD x");
    EXPECT_EQ(MaskPassword("USER alice"), ">> USER alice");
    EXPECT_EQ(MaskPassword("PAS secret"), ">> PAS secret");
    // Other bytes before the keyword do not hide it.
    EXPECT_EQ(MaskPassword("\xff\xf4PASS secret"), ">> \xff\xf4PASS ****");
    EXPECT_EQ(MaskPassword(std::string("\0pass secret", 12)), std::string(">> \0PASS ****", 13));
}

TEST(LogLine, ChunkOfAnOverlongLineHidesPasswordsAndTheirLength) {
    EXPECT_EQ(MaskPasswordsInChunk("", "x\r\npass secret\r\nNOOP\r\nPASS y", 100),
              "x\r\npass ****\r\nNOOP\r\nPASS ****");
    // The keyword, or the whole line, may have come with an earlier chunk.
    EXPECT_EQ(MaskPasswordsInChunk("NOOP\r\nPA", "SS secret\r\nSYST", 100), "SS ****\r\nSYST");
    EXPECT_EQ(MaskPasswordsInChunk("USER x\r\nPASS sec", "ret\r\nSYST", 100), "****\r\nSYST");
    EXPECT_EQ(MaskPasswordsInChunk("PASSWORD", " x", 100), " x");
    EXPECT_EQ(MaskPasswordsInChunk("", "NOOP PASS secret", 7), "NOOP PA");
}

TEST(LogFile, CreatesTheLogDirectoryAndAppendsAcrossOpens) {
    TempDir dir;
    const std::time_t when = LocalMoment(2026, 12, 7, 12, 0, 0);
    const std::string path = dir.Path("log/20261207.txt");
    for (const char* text : {"first", "second"}) {
        CLogFile log;
        log.SetBaseDirectory(dir.ProgramDir());
        ASSERT_TRUE(log.ReopenFor(when)) << log.GetLastError();
        EXPECT_EQ(log.GetPath(), path);
        const LogWriteStatus status = log.WriteLine(text, when);
        EXPECT_TRUE(status.written);
        EXPECT_FALSE(status.newDay);
    }
    EXPECT_EQ(ReadFile(path), "first\r\nsecond\r\n");
}

TEST(LogFile, FirstLineOfANewDayStartsTheNewDaysFile) {
    TempDir dir;
    CLogFile log;
    log.SetBaseDirectory(dir.ProgramDir());
    const std::time_t before = LocalMoment(2026, 12, 31, 23, 59, 59);
    const std::time_t after = LocalMoment(2027, 1, 1, 0, 0, 0);
    ASSERT_TRUE(log.ReopenFor(before));
    EXPECT_TRUE(log.WriteLine("old day", before).written);
    const LogWriteStatus status = log.WriteLine("new day", after);
    EXPECT_TRUE(status.written);
    EXPECT_TRUE(status.newDay);
    EXPECT_FALSE(status.openFailed);
    EXPECT_FALSE(log.WriteLine("same day", after).newDay);
    EXPECT_EQ(ReadFile(dir.Path("log/20261231.txt")), "old day\r\n");
    EXPECT_EQ(ReadFile(dir.Path("log/20270101.txt")), "new day\r\nsame day\r\n");
}

TEST(LogFile, AFailedOpenIsReportedOncePerDate) {
    TempDir dir;
    WriteFile(dir.Path("log"), "a file where the directory belongs");
    CLogFile log;
    log.SetBaseDirectory(dir.ProgramDir());
    const std::time_t day1 = LocalMoment(2026, 12, 7, 12, 0, 0);
    const std::time_t day2 = LocalMoment(2026, 12, 8, 12, 0, 0);
    EXPECT_FALSE(log.ReopenFor(day1));
    EXPECT_EQ(log.GetLastError(),
              "Cannot create or open file: '" + dir.Path("log/20261207.txt") + "'");
    LogWriteStatus status = log.WriteLine("lost", day1);
    EXPECT_FALSE(status.written || status.openFailed);
    status = log.WriteLine("lost too", day2);
    EXPECT_TRUE(status.openFailed);
    EXPECT_FALSE(status.written);

    std::filesystem::remove(dir.Path("log"));
    status = log.WriteLine("saved", LocalMoment(2026, 12, 9, 0, 0, 1));
    EXPECT_TRUE(status.written);
    EXPECT_EQ(ReadFile(dir.Path("log/20261209.txt")), "saved\r\n");
}

// 16 threads write 100 000 lines at once: every line arrives whole, once, in its thread's order.
TEST(LogFileThreads, StormOfLinesLeavesEveryLineWhole) {
    constexpr int kThreads = 16, kLinesPerThread = 6250;
    TempDir dir;
    CLogFile log;
    log.SetBaseDirectory(dir.ProgramDir());
    const std::time_t when = LocalMoment(2026, 12, 7, 12, 0, 0);
    ASSERT_TRUE(log.ReopenFor(when));
    const std::string padding(100, '.');
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&, t] {
            for (int n = 0; n < kLinesPerThread; ++n) {
                const std::string text =
                    std::to_string(t) + " " + std::to_string(n) + " " + padding;
                if (!log.WriteLine(MakeLogLine(text, when), when).written) ADD_FAILURE();
            }
        });
    }
    for (std::thread& w : writers) w.join();

    const std::string prefix = MakeLogLine("", when);
    std::vector<int> next(kThreads, 0);
    const auto lines = SplitCrLf(ReadFile(dir.Path("log/20261207.txt")));
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLinesPerThread));
    for (const std::string& line : lines) {
        int t = -1, n = -1, used = 0;
        ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
        ASSERT_EQ(std::sscanf(line.c_str() + prefix.size(), "%d %d %n", &t, &n, &used), 2) << line;
        ASSERT_TRUE(t >= 0 && t < kThreads) << line;
        ASSERT_EQ(line.substr(prefix.size() + static_cast<std::size_t>(used)), padding) << line;
        ASSERT_EQ(n, next[static_cast<std::size_t>(t)]++) << line;
    }
}

}  // namespace
