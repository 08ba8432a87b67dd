// Rates, frame times and the ranges of a split capture.
#include "main/frameRange.h"

#include <gtest/gtest.h>

namespace {

TEST(FrameRange, RatesAreReadExactlyInLowestTerms) {
    struct Case {
        const char* text;
        bool valid;
        int64_t numerator = 0;
        int64_t denominator = 0;
    };
    const Case cases[] = {
        {"60", true, 60, 1},
        {"30000/1001", true, 30000, 1001},
        {"24000/1001", true, 24000, 1001},
        {"60/2", true, 30, 1},
        {"12.5", true, 25, 2},
        {"29.97", true, 2997, 100},
        {"1000", true, 1000, 1},
        {"1/1000", true, 1, 1000},
        {"0", false},
        {"0/1", false},
        {"1/0", false},
        {"1001", false},
        {"-30", false},
        {"30/", false},
        {"/30", false},
        {"30000/1001/1", false},
        {"1e2", false},
        {"12.", false},
        {".5", false},
        {" 30", false},
        {"", false},
        {"99999999999/1", false},
        {"12.1234567", false},
    };
    for (const Case& c : cases) {
        FrameRate rate;
        const std::string problem = ParseFrameRate(c.text, rate);
        EXPECT_EQ(problem.empty(), c.valid) << "'" << c.text << "': " << problem;
        if (!c.valid) continue;
        EXPECT_EQ(rate, (FrameRate{c.numerator, c.denominator})) << c.text;
    }
    EXPECT_EQ((FrameRate{30000, 1001}).Text(), "30000/1001");
    EXPECT_EQ((FrameRate{60, 1}).Text(), "60");
}

TEST(FrameRange, FrameTimesAreExactFractionsOfTheRate) {
    const FrameRate ntsc{30000, 1001};
    for (const int64_t k : {0, 1, 2, 29, 30, 1000, 7192, 1'000'000}) {
        // One rounding, of the exact fraction k x 1001 / 30000.
        EXPECT_EQ(FrameTime(0, ntsc, k), double(k * 1001) / 30000.0) << k;
    }
    // A whole rate gives the times a capture always gave: from + k / fps.
    for (const int64_t k : {0, 1, 7, 59, 60, 61, 3599})
        EXPECT_EQ(FrameTime(97, {60, 1}, k), 97 + double(k) / 60);
    // 1001 frames of 30000/1001 are 33.3667 s; a span of that length holds them all.
    EXPECT_EQ(FrameCount(0, 1001.0 / 30.0, {30000, 1001}), 1000);
    EXPECT_EQ(FrameCount(1, 1.5, {10, 1}), 5);
    EXPECT_EQ(FrameCount(0, 0.1 + 0.2, {10, 1}), 3);
    EXPECT_EQ(FrameCount(2, 1, {10, 1}), 0);
}

TEST(FrameRange, RangesAndSegmentsAreReadAndRefused) {
    FrameRange range;
    EXPECT_EQ(ParseFrameRange("10:20", range), "");
    EXPECT_EQ(range, (FrameRange{10, 20}));
    for (const char* bad : {"10:5", "5:5", "-1:5", "5", ":5", "5:", "a:b", "1:2:3", " 1:2"})
        EXPECT_NE(ParseFrameRange(bad, range), "") << bad;

    Segment segment;
    EXPECT_EQ(ParseSegment("2/4", segment), "");
    EXPECT_EQ(segment.index, 2);
    EXPECT_EQ(segment.count, 4);
    for (const char* bad : {"0/4", "5/4", "1/0", "0/0", "4", "/4", "2/", "-1/4", "1.5/4"})
        EXPECT_NE(ParseSegment(bad, segment), "") << bad;
}

TEST(FrameRange, SegmentsAreEqualContiguousAndTheLastTakesTheRest) {
    struct Case {
        int64_t total;
        int64_t count;
    };
    for (const Case c : {Case{90, 4}, Case{90, 1}, Case{7, 7}, Case{7200, 13}, Case{10, 3}}) {
        SCOPED_TRACE(std::to_string(c.total) + " frames in " + std::to_string(c.count));
        int64_t next = 0;
        for (int64_t k = 1; k <= c.count; ++k) {
            FrameRange piece;
            ASSERT_EQ(SegmentFrames({k, c.count}, c.total, piece), "");
            EXPECT_EQ(piece.first, next);
            EXPECT_EQ(piece.Size(), k < c.count ? c.total / c.count : c.total - next);
            EXPECT_EQ(CheckFrameRange(piece, c.total), "");
            next = piece.end;
        }
        EXPECT_EQ(next, c.total);
    }
    FrameRange piece;
    EXPECT_NE(SegmentFrames({1, 8}, 5, piece), "");
    EXPECT_NE(CheckFrameRange({80, 91}, 90), "");
}

}  // namespace
