#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include "config/ConfigLimits.h"
#include "config/IpFilter.h"
#include "tests/support/ReaderThreads.h"
#include "tests/support/TempDir.h"

namespace {

struct FilterCase {
    int mode;
    const char* allow;
    const char* deny;
    const char* client;
    bool admitted;
};

// Whole-address matching: an address is never matched by a longer or shorter entry.
const FilterCase kCases[] = {
    {1, "", "10.0.0.15", "10.0.0.15", false},
    {1, "", "10.0.0.15", "10.0.0.1", true},
    {1, "", "10.0.0.15", "0.0.0.1", true},
    {1, "", "10.0.0.15", "10.0.0.150", true},
    {2, "192.168.1.10,192.168.1.11", "", "192.168.1.1", false},
    {2, "192.168.1.10,192.168.1.11", "", "192.168.1.11", true},
    {2, "192.168.1.10,192.168.1.11", "", "192.168.1.2", false},
    {2, "", "", "10.0.0.1", false},
    {2, ",", "", "", false},
    {1, "", "192.168.*.*", "192.168.200.7", false},
    {1, "", "192.168.*.*", "192.169.0.1", true},
    {2, "192.168.*.*", "", "192.168.0.1", true},
    {2, "10.*.0.1", "", "10.99.0.1", true},
    {2, "10.*.0.1", "", "10.99.0.2", false},
    {2, ",10.0.0.1", "", "10.0.0.1", true},  // the online-users page's leading comma
    {1, "", ",,10.0.0.1,,", "10.0.0.2", true},
    {0, "", "10.0.0.1", "10.0.0.1", true},
    {0, "", "*.*.*.*", "10.0.0.1", true},
    {3, "10.0.0.1", "", "10.0.0.1", false},
    {-1, "10.0.0.1", "", "10.0.0.1", false},
    {2, "010.000.000.001", "", "10.0.0.1", true},
    {2, "10.0.0.1*,10.0.0.256,10.0.0", "", "10.0.0.1", false},  // not addresses: no match
    {2, "10.0.0.1", "", "::ffff:10.0.0.1", true},
    {2, "10.0.0.1", "", "::FFFF:10.0.0.2", false},
    {2, "fe80::1", "", "FE80::1", true},
    {2, "fe80::1", "", "fe80::10", false},
    // IPv6 entries are whole addresses in any spelling; a mapped entry is its IPv4 address.
    {1, "", "0:0:0:0:0:0:0:1", "::1", false},
    {2, "2001:0DB8:0:0::1", "", "2001:db8::1", true},
    {2, "2001:db8::1", "", "2001:db8::1:0", false},
    {2, "::ffff:10.0.0.1", "", "10.0.0.1", true},
    {2, "::ffff:10.0.0.1", "", "10.0.0.2", false},
    {2, "10.0.0.1\n", "", "10.0.0.1", true},  // a hand-edited file's final line break
    // Address ranges of both families, at their boundaries.
    {1, "", "10.0.0.0/8", "10.255.255.255", false},
    {1, "", "10.0.0.0/8", "11.0.0.0", true},
    {1, "", "10.1.2.3/8", "10.9.9.9", false},  // bits after the prefix do not count
    {1, "", "192.168.1.0/25", "192.168.1.127", false},
    {1, "", "192.168.1.0/25", "192.168.1.128", true},
    {1, "", "10.0.0.7/32", "10.0.0.7", false},
    {1, "", "10.0.0.7/32", "10.0.0.6", true},
    {1, "", "0.0.0.0/0", "203.0.113.9", false},
    {1, "", "0.0.0.0/0", "::1", true},  // an IPv4 range never matches an IPv6 client
    {1, "", "10.0.0.0/8", "::ffff:10.1.1.1", false},
    {1, "", "2001:db8::/32", "2001:db8:ffff::1", false},
    {1, "", "2001:db8::/32", "2001:db9::1", true},
    {1, "", "2001:db8::/33", "2001:db8:8000::1", true},
    {1, "", "::1/128", "::1", false},
    {1, "", "::1/128", "::2", true},
    {1, "", "::/0", "fe80::1", false},
    {1, "", "::/0", "10.0.0.1", true},                  // an IPv6 range never matches IPv4
    {1, "", "::ffff:10.0.0.0/104", "10.3.3.3", false},  // the mapped block is IPv4
    {2, "10.0.0.0/33,10.0.0.0/,/8,10.*.0.0/16", "", "10.0.0.1", false},  // malformed: none
};

TEST(IpFilter, ChecksClientsAgainstWholeEntries) {
    for (const FilterCase& c : kCases) {
        CIpFilter filter;
        filter.Replace(static_cast<FilterMode>(c.mode), c.allow, c.deny);
        EXPECT_EQ(filter.IsAllowed(c.client), c.admitted)
            << "mode " << c.mode << " allow '" << c.allow << "' deny '" << c.deny << "' client "
            << c.client;
    }
}

TEST(IpFilter, ValidatesEntriesAsTheAddressDialogMakesThem) {
    for (const char* good : {"10.0.0.1", "255.255.255.255", "192.168.*.*", "*.*.*.*", "0.0.0.0"})
        EXPECT_TRUE(CIpFilter::IsValidEntry(good)) << good;
    for (const char* bad : {"", "10.0.0", "10.0.0.1.", "10.0.0.256", "10.0.0.1*", "1..2.3",
                            "10.0.0.0001", " 10.0.0.1", "10.0.0.-1", "fe80::1", "10,0.0.1"})
        EXPECT_FALSE(CIpFilter::IsValidEntry(bad)) << bad;
}

TEST(IpFilter, ValidatesListEntriesOfBothFamiliesAndRanges) {
    for (const char* good :
         {"10.0.0.1", "192.168.*.*", "fe80::1", "::ffff:10.0.0.1", "10.0.0.0/8", "0.0.0.0/0",
          "10.0.0.1/32", "2001:db8::/32", "::/0", "::1/128", "2001:DB8::/48"})
        EXPECT_TRUE(IsValidIpListEntry(good)) << good;
    for (const char* bad :
         {"", "10.0.0.0/33", "10.0.0.0/", "/8", "10.0.0.0/-1", "10.0.0.0/8/8", "10.0.0.0/ 8",
          "10.0.0.0//8", "10.*.0.0/16", "10.0.0/8", "2001:db8::/129", "fe80::1%eth0/64",
          "fe80::1%eth0", "2001:db8::/0032", "host.example", " 10.0.0.0/8", "10.0.0.0/8 ", "1:2"})
        EXPECT_FALSE(IsValidIpListEntry(bad)) << bad;
    EXPECT_FALSE(IsValidIpListEntry(std::string("::1\0/128", 8)));
}

TEST(IpFilter, AlreadyOnTheListComparesWholeEntries) {
    EXPECT_FALSE(CIpFilter::ContainsEntry("10.0.0.12", "10.0.0.1"));
    EXPECT_TRUE(CIpFilter::ContainsEntry(",10.0.0.12,10.0.0.1", "10.0.0.1"));
    EXPECT_FALSE(CIpFilter::ContainsEntry(",,", ""));

    CIpFilter filter;
    filter.SetMode(FilterMode::AllowedOnly);
    EXPECT_TRUE(filter.AppendEntry(CIpFilter::List::Allow, "10.0.0.1"));
    EXPECT_FALSE(filter.AppendEntry(CIpFilter::List::Allow, "10.0.0.1"));
    EXPECT_EQ(filter.GetList(CIpFilter::List::Allow), ",10.0.0.1");
    EXPECT_EQ(filter.GetList(CIpFilter::List::Deny), "");
    EXPECT_TRUE(filter.IsAllowed("10.0.0.1"));

    const auto entries = CIpFilter::SplitEntries(",10.0.0.1,,192.168.*.*,");
    EXPECT_EQ(entries, (std::vector<std::string>{"10.0.0.1", "192.168.*.*"}));
    EXPECT_EQ(CIpFilter::JoinEntries({"", "10.0.0.1", "", "192.168.*.*"}), "10.0.0.1,192.168.*.*");
}

// An appended text that is not one bare entry decides as the list read again would.
TEST(IpFilter, AppendedEntryDecidesAsTheListReadAgain) {
    CIpFilter running;
    running.SetMode(FilterMode::RefuseDenied);
    ASSERT_TRUE(running.AppendEntry(CIpFilter::List::Deny, "10.0.0.1,fe80::1"));
    ASSERT_TRUE(running.AppendEntry(CIpFilter::List::Deny, " 192.168.1.* "));
    CIpFilter reread;
    reread.Replace(FilterMode::RefuseDenied, "", running.GetList(CIpFilter::List::Deny));
    for (const char* client : {"10.0.0.1", "fe80::1", "192.168.1.7", "10.0.0.2"})
        EXPECT_EQ(running.IsAllowed(client), reread.IsAllowed(client)) << client;
    EXPECT_FALSE(running.IsAllowed("fe80::1"));
    EXPECT_FALSE(running.IsAllowed("192.168.1.7"));
}

TEST(IpFilterFiles, LoadKeepsAListWhoseFileIsMissingAndStopsAtAZeroByte) {
    TempDir dir;
    CIpFilter filter;
    filter.Replace(FilterMode::RefuseDenied, "1.1.1.1", "2.2.2.2");
    WriteFile(dir.Path("rejectip.txt"), std::string("3.3.3.3,4.4.4.4\0,5.5.5.5", 25));
    ASSERT_TRUE(filter.Load(dir.ProgramDir())) << filter.GetLastError();
    EXPECT_EQ(filter.GetList(CIpFilter::List::Allow), "1.1.1.1");
    EXPECT_EQ(filter.GetList(CIpFilter::List::Deny), "3.3.3.3,4.4.4.4");
    EXPECT_FALSE(filter.IsAllowed("4.4.4.4"));
    EXPECT_TRUE(filter.IsAllowed("5.5.5.5"));

    WriteFile(dir.Path("acceptip.txt"), std::string(config::kMaxIpListFileSize + 1, ','));
    EXPECT_FALSE(filter.Load(dir.ProgramDir()));
    EXPECT_EQ(filter.GetList(CIpFilter::List::Allow), "1.1.1.1");
}

TEST(IpFilterFiles, ReadListCheckedNamesAnEntryThatWouldMatchNothing) {
    TempDir dir;
    std::string text = "stale", error;
    ASSERT_TRUE(CIpFilter::ReadListChecked(dir.ProgramDir(), CIpFilter::List::Deny, text, error));
    EXPECT_EQ(text, "") << "a missing file is an empty list";
    WriteFile(dir.Path("rejectip.txt"), std::string("10.0.0.0/8,\n ::1 ,3.3.*.*\0junk", 30));
    ASSERT_TRUE(CIpFilter::ReadListChecked(dir.ProgramDir(), CIpFilter::List::Deny, text, error));
    EXPECT_EQ(text, "10.0.0.0/8,\n ::1 ,3.3.*.*");
    WriteFile(dir.Path("acceptip.txt"), "1.2.3.4,10.0.0.300");
    EXPECT_FALSE(CIpFilter::ReadListChecked(dir.ProgramDir(), CIpFilter::List::Allow, text, error));
    EXPECT_NE(error.find("acceptip.txt: the entry \"10.0.0.300\""), std::string::npos) << error;
}

TEST(IpFilterFiles, SaveWritesBothTextsExactly) {
    TempDir dir;
    CIpFilter filter;
    filter.Replace(FilterMode::AllowedOnly, ",10.0.0.1", "");
    ASSERT_TRUE(filter.Save(dir.ProgramDir())) << filter.GetLastError();
    EXPECT_EQ(ReadFile(dir.Path("acceptip.txt")), ",10.0.0.1");
    EXPECT_TRUE(std::filesystem::exists(dir.Path("rejectip.txt")));
    EXPECT_EQ(ReadFile(dir.Path("rejectip.txt")), "");
    EXPECT_FALSE(filter.Save(dir.Path("missing/")));
}

// Both configurations admit 10.0.0.1; a check that mixed the mode of one with the lists of
// the other would refuse it.
TEST(IpFilterThreads, ReplacingWhileCheckingNeverMixesSnapshots) {
    CIpFilter filter;
    filter.Replace(FilterMode::RefuseDenied, "10.0.0.9", "10.0.0.2");
    std::atomic<long> refused{0};
    ReaderThreads readers(8, [&] {
        if (!filter.IsAllowed("10.0.0.1")) refused.fetch_add(1);
    });
    readers.WaitUntilEachRan();
    const std::int64_t before = readers.Rounds();
    // Keeps replacing until a good number of checks ran during the replacements.
    for (int i = 0; i < 5000 || readers.Rounds() < before + 5000; ++i) {
        if (i % 2 == 0)
            filter.Replace(FilterMode::AllowedOnly, "10.0.0.1", "10.0.0.1");
        else
            filter.Replace(FilterMode::RefuseDenied, "10.0.0.9", "10.0.0.2");
        if (i % 1000 == 0) filter.SetMode(filter.GetMode());
    }
    readers.Stop();
    EXPECT_EQ(refused.load(), 0);
}

TEST(IpFilterThreads, ListFilesReadWhileSavedAreAlwaysWhole) {
    TempDir dir;
    std::vector<std::string> a, b;
    for (int i = 0; i < 300; ++i) {
        a.push_back("10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250));
        b.push_back("172.16.*." + std::to_string(i % 250));
    }
    const std::string textA = CIpFilter::JoinEntries(a), textB = CIpFilter::JoinEntries(b);
    CIpFilter writer;
    writer.Replace(FilterMode::AllowedOnly, textA, textB);
    ASSERT_TRUE(writer.Save(dir.ProgramDir()));
    std::atomic<int> bad{0};
    ReaderThreads readers(8, [&] {
        CIpFilter reader;
        const bool loaded = reader.Load(dir.ProgramDir());
        const std::string allow = reader.GetList(CIpFilter::List::Allow);
        if (!loaded || (allow != textA && allow != textB)) bad.fetch_add(1);
    });
    readers.WaitUntilEachRan();
    const std::int64_t before = readers.Rounds();
    for (int i = 0; i < 100 || readers.Rounds() < before + 100; ++i) {
        writer.Replace(FilterMode::AllowedOnly, i % 2 ? textA : textB, i % 2 ? textB : textA);
        EXPECT_TRUE(writer.Save(dir.ProgramDir())) << writer.GetLastError();
    }
    readers.Stop();
    EXPECT_EQ(bad.load(), 0);
}

}  // namespace
