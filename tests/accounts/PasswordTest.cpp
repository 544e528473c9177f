// The login's password rule and the comma-scrambled form.
#include <gtest/gtest.h>

#include "accounts/HashCost.h"
#include "accounts/PasswordCheck.h"
#include "accounts/PasswordHash.h"

namespace {

TEST(Password, ScrambledFormUnscramblesAtAnyLength) {
    std::string password;
    for (int i = 0; i < 700; ++i) password.push_back(static_cast<char>('!' + i % 90));
    const std::string scrambled = ScramblePassword(password);
    ASSERT_GT(scrambled.size(), 2000u);  // far beyond 511 characters
    EXPECT_EQ(UnscramblePassword(scrambled), password);
    // "ab": 'a'+'q' = 210, 'b'+'u' = 215.
    EXPECT_EQ(ScramblePassword("ab"), ",210,215");
}

TEST(Password, PiecesAreReadAsLeadingDecimalsKeptToEightBits) {
    EXPECT_EQ(UnscramblePassword(", 210 ,215x"), "ab");  // blanks and trailing junk
    EXPECT_EQ(UnscramblePassword(",466"), "a");          // 466 - 'q' = 353 -> 97
    EXPECT_EQ(UnscramblePassword(",-15"), std::string(1, static_cast<char>(-15 - 'q' + 256)));
    EXPECT_EQ(UnscramblePassword(",210,117,215"), "a");  // 117 - 'u' = 0 ends the text
    EXPECT_EQ(UnscramblePassword(","),
              std::string(1, static_cast<char>(256 - 'q')));  // no digits: 0
}

TEST(Password, AcceptanceRules) {
    EXPECT_TRUE(PasswordAccepted("alice", "Secret", "Secret"));
    EXPECT_FALSE(PasswordAccepted("alice", "Secret", "secret"));
    EXPECT_TRUE(PasswordAccepted("alice", "Secret", ScramblePassword("Secret")));
    EXPECT_TRUE(PasswordAccepted("AnonyMous", "", "whatever"));
    EXPECT_FALSE(PasswordAccepted("anonymous", "set", "whatever"));
    EXPECT_FALSE(PasswordAccepted("alice", "", "x"));
    EXPECT_TRUE(PasswordAccepted("alice", "", ""));
}

TEST(Password, HashedEntriesTakeTheirClearTextOnly) {
    const std::string hash = HashPassword("Secret");
    ASSERT_EQ(hash.rfind("$y$", 0), 0u) << hash;
    EXPECT_LE(hash.size(), 127u);  // fits the "password" field of user.sdb
    EXPECT_TRUE(IsPasswordHash(hash));
    EXPECT_NE(HashPassword("Secret"), hash);  // salted
    EXPECT_TRUE(PasswordAccepted("alice", hash, "Secret"));
    EXPECT_TRUE(PasswordAccepted("alice", hash, ScramblePassword("Secret")));
    EXPECT_FALSE(PasswordAccepted("alice", hash, "secret"));
    EXPECT_FALSE(PasswordAccepted("alice", hash, hash));  // the hash is no password
    EXPECT_FALSE(PasswordAccepted("anonymous", hash, "x"));
    // Clear-text entries that merely look like hashes stay clear text.
    for (const char* clear : {"$y$", "$y$x$y", "$1$abc$def", "$6$", "plain"})
        EXPECT_FALSE(IsPasswordHash(clear)) << clear;
    EXPECT_TRUE(ConstantTimeEquals("abc", "abc"));
    EXPECT_FALSE(ConstantTimeEquals("abc", "abd"));
    EXPECT_FALSE(ConstantTimeEquals("abc", "abcd"));
    EXPECT_FALSE(ConstantTimeEquals("", "a"));
}

TEST(Password, StoredHashesOverTheCostCapsNeverLogIn) {
    const std::string tail = "$saltsalt$" + std::string(86, 'a');
    const std::string costly = "$6$rounds=999999999" + tail;
    EXPECT_TRUE(HashCostAllowed(HashPassword("x")));
    EXPECT_TRUE(HashCostAllowed("$6" + tail));
    EXPECT_TRUE(HashCostAllowed("$6$rounds=1000000" + tail));
    EXPECT_FALSE(HashCostAllowed("$6$rounds=1000001" + tail));
    EXPECT_FALSE(HashCostAllowed(costly));
    // yescrypt's N as libcrypt's counts 7 and 8 write it ("B": 2^14, "C": 2^15; r 32).
    EXPECT_TRUE(HashCostAllowed("$y$jBT$salt$hash"));
    EXPECT_FALSE(HashCostAllowed("$y$jCT$salt$hash"));
    EXPECT_TRUE(HashCostAllowed("$y$j9T0..$salt$hash"));   // p 2 and t 1: four times
    EXPECT_FALSE(HashCostAllowed("$y$j9T0//$salt$hash"));  // p 3 and t 2: nine times
    ASSERT_TRUE(IsPasswordHash(costly));
    const PasswordVerdict verdict = CheckPassword("alice", costly, costly);
    EXPECT_TRUE(verdict.overCost);
    EXPECT_FALSE(verdict.accepted);
    EXPECT_FALSE(verdict.hashed);
}

}  // namespace
