// The labels of a split capture's pieces and the checks that they make one whole.
#include "main/join.h"

#include <gtest/gtest.h>

namespace {

TEST(Join, LabelsSurviveTheRoundTrip) {
    const PieceLabel label{{30, 60}, 90, {30000, 1001}, 0.1, "music/the tune.ogg"};
    const std::string text = FormatPieceLabel(label);
    PieceLabel read;
    ASSERT_TRUE(ParsePieceLabel(text, read)) << text;
    EXPECT_EQ(read.frames, label.frames);
    EXPECT_EQ(read.total, 90);
    EXPECT_EQ(read.rate, label.rate);
    EXPECT_EQ(read.from, 0.1);
    EXPECT_EQ(read.music, "music/the tune.ogg");
    for (const char* bad : {"", "Lavf59", "vantrisk-piece frames=5:2 of=9 rate=30 from=0 music=",
                            "vantrisk-piece frames=0:10 of=9 rate=30 from=0 music=",
                            "vantrisk-piece frames=0:10 of=10 rate=0 from=0 music=",
                            "vantrisk-piece frames=0:10 of=10 rate=30 from=x music="}) {
        EXPECT_FALSE(ParsePieceLabel(bad, read)) << bad;
    }
}

TEST(Join, PiecesMustCoverTheCaptureOnce) {
    const auto piece = [](const char* path, int64_t first, int64_t end) {
        return Piece{path, {{first, end}, 90, {30, 1}, 0, "tune.ogg"}};
    };
    struct Case {
        const char* name;
        std::vector<Piece> pieces;
        const char* problem;  ///< a part of the message, "" when the pieces are whole
    };
    const Case cases[] = {
        {"in order", {piece("a", 0, 22), piece("b", 22, 44), piece("c", 44, 90)}, ""},
        {"shuffled", {piece("c", 44, 90), piece("a", 0, 22), piece("b", 22, 44)}, ""},
        {"one piece", {piece("a", 0, 90)}, ""},
        {"gap", {piece("a", 0, 22), piece("c", 44, 90)}, "frames 22:44 are missing between 'a' and 'c'"},
        {"no start", {piece("b", 22, 90)}, "frames 0:22 are missing before 'b'"},
        {"no end", {piece("a", 0, 44)}, "frames 44:90 are missing after 'a'"},
        {"duplicate", {piece("a", 0, 45), piece("b", 45, 90), piece("b2", 45, 90)}, "'b2' duplicates 'b'"},
        {"overlap", {piece("a", 0, 50), piece("b", 45, 90)}, "'b' (frames 45:90) overlaps 'a'"},
        {"none", {}, "no pieces"},
    };
    for (const Case& c : cases) {
        std::vector<Piece> pieces = c.pieces;
        const std::string problem = OrderPieces(pieces);
        if (std::string(c.problem).empty()) {
            EXPECT_EQ(problem, "") << c.name;
            for (size_t i = 1; i < pieces.size(); ++i)
                EXPECT_EQ(pieces[i].label.frames.first, pieces[i - 1].label.frames.end) << c.name;
        } else {
            EXPECT_NE(problem.find(c.problem), std::string::npos) << c.name << ": " << problem;
        }
    }
    // A piece of another capture of the same show.
    std::vector<Piece> mixed = {piece("a", 0, 45), piece("b", 45, 90)};
    mixed[1].label.rate = {60, 1};
    EXPECT_NE(OrderPieces(mixed).find("'b' is not a piece of the same capture as 'a'"), std::string::npos);
}

}  // namespace
