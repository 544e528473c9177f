// The MODE Z streams on their own: what a compressed transfer relies on whatever way the
// network cuts the bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ftp/ZStream.h"

namespace {

std::vector<char> Deflate(const std::string& data, int level) {
    CDeflater deflater(level);
    std::vector<char> out;
    EXPECT_TRUE(deflater.IsOk());
    // In uneven parts, as a download reads them.
    for (std::size_t at = 0; at < data.size(); at += 7777)
        EXPECT_TRUE(deflater.Compress(std::string_view(data).substr(at, 7777), false, out));
    EXPECT_TRUE(deflater.Compress({}, true, out));
    return out;
}

// Inflates `wire` fed `piece` bytes at a time into a small output; the last result.
InflateResult Inflate(const std::vector<char>& wire, std::size_t piece, std::string& out) {
    CInflater inflater;
    char buffer[100];
    InflateResult result = InflateResult::NeedInput;
    for (std::size_t at = 0; at < wire.size(); at += piece) {
        inflater.Feed(wire.data() + at, std::min(piece, wire.size() - at));
        std::size_t produced = 0;
        do {
            result = inflater.Inflate(buffer, sizeof buffer, produced);
            out.append(buffer, produced);
        } while (result == InflateResult::Produced);
        if (result == InflateResult::Damaged) break;
    }
    return result;
}

std::string Sample() {
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "row " + std::to_string(i * 7919 % 1000) + "\n";
    return text;
}

}  // namespace

TEST(ZStream, RoundTripsAtEveryLevelWhateverTheInputPieces) {
    const std::string data = Sample();
    for (int level = kMinDeflateLevel; level <= kMaxDeflateLevel; level += 3) {
        const std::vector<char> wire = Deflate(data, level);
        for (std::size_t piece : {std::size_t{1}, std::size_t{4096}, wire.size()}) {
            std::string out;
            EXPECT_EQ(Inflate(wire, piece, out), InflateResult::Ended) << level << " " << piece;
            EXPECT_EQ(out, data) << level << " " << piece;
        }
    }
    std::string out;
    EXPECT_EQ(Inflate(Deflate("", kDefaultDeflateLevel), 1, out), InflateResult::Ended);
    EXPECT_EQ(out, "");
}

TEST(ZStream, CutDamagedAndOverlongStreamsAreNeverEnded) {
    const std::vector<char> wire = Deflate(Sample(), kDefaultDeflateLevel);
    std::string out;
    const std::vector<char> cut(wire.begin(), wire.end() - 1);
    EXPECT_EQ(Inflate(cut, 4096, out), InflateResult::NeedInput);
    std::vector<char> checksumWrong = wire;
    checksumWrong.back() ^= 1;
    out.clear();
    EXPECT_EQ(Inflate(checksumWrong, 4096, out), InflateResult::Damaged);
    std::vector<char> overlong = wire;
    overlong.push_back('x');
    out.clear();
    EXPECT_EQ(Inflate(overlong, 1, out), InflateResult::Damaged);
    const std::vector<char> garbage(5000, 'g');
    out.clear();
    EXPECT_EQ(Inflate(garbage, 4096, out), InflateResult::Damaged);
}
