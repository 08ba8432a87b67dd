#include "graphics/cubeLoader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/logCapture.h"

namespace {

CubeLoader Load(const std::string& text) {
    return CubeLoader(text.data(), text.size());
}

std::string Rows(int count, const char* row = "0.0 0.5 1.0") {
    std::string text;
    for (int i = 0; i < count; ++i) text += std::string(row) + "\n";
    return text;
}

const char* kDecoratedTable =
    "TITLE \"Warm\"\n"
    "# created by hand\n"
    "\n"
    "DOMAIN_MIN 0.0 0.0 0.0\n"
    "LUT_3D_SIZE 2\n"
    "DOMAIN_MAX 1.0 1.0 1.0\n"
    "# rows follow\n"
    "0.0 0.0 0.0\n"
    "1.0 0.0 0.0\n"
    "0.0 1.0 0.0\n"
    "1.0 1.0 0.0\n"
    "0.0 0.0 1.0\n"
    "1.0 0.0 1.0\n"
    "0.0 1.0 1.0\n"
    "1.0 1.0 1.0\n";

}  // namespace

TEST(CubeLoader, ReadsTableAmongTitleCommentsAndDomainLines) {
    const CubeLoader cube = Load(kDecoratedTable);
    ASSERT_TRUE(cube.ok);
    EXPECT_EQ(cube.size, 2);
    ASSERT_EQ(cube.table.size(), 32u);
    // Red varies fastest: entry 1 is pure red, entry 6 green and blue, every alpha is 255.
    EXPECT_EQ(std::vector<uint8_t>(cube.table.begin(), cube.table.begin() + 8),
              (std::vector<uint8_t>{0, 0, 0, 255, 255, 0, 0, 255}));
    EXPECT_EQ(std::vector<uint8_t>(cube.table.begin() + 24, cube.table.begin() + 28),
              (std::vector<uint8_t>{0, 255, 255, 255}));
}

TEST(CubeLoader, LogsAttemptAndOutcome) {
    {
        TestSupport::LogCapture capture;
        Load(kDecoratedTable);
        EXPECT_EQ(capture.Lines(),
                  (std::vector<TestSupport::LogLine>{{"CubeLoader::CubeLoader", "Parsing a .cube file.."},
                                                     {"CubeLoader::CubeLoader", "..succeeded"}}));
    }
    TestSupport::LogCapture capture;
    Load("LUT_3D_SIZE 2\n");
    EXPECT_EQ(capture.Texts(), (std::vector<std::string>{"Parsing a .cube file..", "..failed"}));
}

TEST(CubeLoader, ConvertsByTruncatingAndWrapping) {
    const CubeLoader cube = Load("LUT_3D_SIZE 1\n1.5 -0.1 0.999\n");
    ASSERT_TRUE(cube.ok);
    EXPECT_EQ(cube.table, (std::vector<uint8_t>{126, 231, 254, 255}));
    const CubeLoader half = Load("LUT_3D_SIZE 1\n0.5 1.0 0 trailing words\n");
    ASSERT_TRUE(half.ok);
    EXPECT_EQ(half.table, (std::vector<uint8_t>{127, 255, 0, 255}));
    // Values whose integer part does not fit an int still wrap (or read as 0), never trap.
    const CubeLoader huge = Load("LUT_3D_SIZE 1\n1e30 nan 65793.0\n");
    ASSERT_TRUE(huge.ok);
    EXPECT_EQ(huge.table[0], 0);
    EXPECT_EQ(huge.table[1], 0);
    EXPECT_EQ(huge.table[2], static_cast<uint8_t>(static_cast<int64_t>(65793.0f * 255.0f) & 0xFF));
}

TEST(CubeLoader, FailsOnCommentBetweenRows) {
    std::string text = "LUT_3D_SIZE 2\n" + Rows(4) + "# halfway\n" + Rows(4);
    EXPECT_FALSE(Load(text).ok);
    // An empty line between rows is no line at all.
    text = "LUT_3D_SIZE 2\n" + Rows(4) + "\n\n" + Rows(4);
    EXPECT_TRUE(Load(text).ok);
}

TEST(CubeLoader, FailsWithoutUsableSizeLine) {
    EXPECT_FALSE(Load("lut_3d_size 2\n" + Rows(8)).ok);
    EXPECT_FALSE(Load("LUT_3D_SIZE\t2\n" + Rows(8)).ok);  // exactly one blank after the keyword
    EXPECT_FALSE(Load("LUT_3D_SIZE two\n" + Rows(8)).ok);
    EXPECT_FALSE(Load("").ok);
    EXPECT_TRUE(Load("LUT_1D_SIZE 4\nLUT_3D_SIZE  2\n" + Rows(8)).ok);
}

TEST(CubeLoader, FailsWhenDataEndsEarly) {
    EXPECT_FALSE(Load("LUT_3D_SIZE 2\nDOMAIN_MIN 0 0 0\n").ok);
    EXPECT_FALSE(Load("LUT_3D_SIZE 2\n" + Rows(7)).ok);
    EXPECT_FALSE(Load("LUT_3D_SIZE 2\n" + Rows(7) + "0.5 0.5\n").ok);
    EXPECT_TRUE(Load("LUT_3D_SIZE 2\n" + Rows(9)).ok);  // rows beyond N^3 are ignored
}

TEST(CubeLoader, RefusesSizesThatDescribeNoTextureInsteadOfAllocating) {
    EXPECT_FALSE(Load("LUT_3D_SIZE 0\n" + Rows(1)).ok);
    EXPECT_FALSE(Load("LUT_3D_SIZE -3\n" + Rows(1)).ok);
    EXPECT_FALSE(Load("LUT_3D_SIZE 257\n" + Rows(1)).ok);
    EXPECT_FALSE(Load("LUT_3D_SIZE 99999999999999999999\n" + Rows(1)).ok);
}

TEST(CubeLoader, ReadsCrLfLikeLfAndNeedsNoFinalLineBreak) {
    std::string crlf;
    for (const char* c = kDecoratedTable; *c; ++c)
        crlf += (*c == '\n') ? std::string("\r\n") : std::string(1, *c);
    const CubeLoader lf = Load(kDecoratedTable);
    const CubeLoader cr = Load(crlf);
    ASSERT_TRUE(cr.ok);
    EXPECT_EQ(cr.table, lf.table);

    std::string unterminated = kDecoratedTable;
    unterminated.pop_back();
    const CubeLoader last = Load(unterminated);
    ASSERT_TRUE(last.ok);
    EXPECT_EQ(last.table, lf.table);
}

TEST(CubeLoader, StopsAtTheEndOfTheGivenBytes) {
    // The bytes after `length` would complete the table; the parser must not read them.
    const std::string text = "LUT_3D_SIZE 1\n0.5 0.5 0.5\n";
    EXPECT_FALSE(CubeLoader(text.data(), text.size() - 5).ok);
    EXPECT_FALSE(CubeLoader(nullptr, 0).ok);
}

TEST(CubeLoader, Size33TableHasRows132BytesApart) {
    std::string text = "LUT_3D_SIZE 33\n";
    for (int b = 0; b < 33; ++b)
        for (int g = 0; g < 33; ++g)
            for (int r = 0; r < 33; ++r)
                text += std::to_string(r / 32.0) + " " + std::to_string(g / 32.0) + " " +
                        std::to_string(b / 32.0) + "\n";
    const CubeLoader cube = Load(text);
    ASSERT_TRUE(cube.ok);
    ASSERT_EQ(cube.table.size(), 33u * 33u * 33u * 4u);
    const size_t rowPitch = 4 * 33, slicePitch = rowPitch * 33;
    EXPECT_EQ(rowPitch, 132u);
    // Texel (x, y, z) = (32, 1, 2) sits at z * slice + y * row + x * 4: red full, green 1/32, blue 2/32.
    const uint8_t* texel = &cube.table[2 * slicePitch + 1 * rowPitch + 32 * 4];
    EXPECT_EQ(texel[0], 255);
    EXPECT_EQ(texel[1], static_cast<uint8_t>(static_cast<float>(1 / 32.0) * 255.0f));
    EXPECT_EQ(texel[2], static_cast<uint8_t>(static_cast<float>(2 / 32.0) * 255.0f));
    EXPECT_EQ(texel[3], 255);
}
TEST(CubeLoader, AFailedParseSaysWhy) {
    const struct {
        std::string text;
        const char* reason;
    } cases[] = {
        {"LUT_3D_SIZE 100000\n" + Rows(1), "LUT_3D_SIZE 100000 is above 256"},
        {"LUT_3D_SIZE  99999999999999999999\n" + Rows(1), "LUT_3D_SIZE 99999999999999999999 is above 256"},
        {"LUT_3D_SIZE -3\n" + Rows(1), "LUT_3D_SIZE -3 is below 1"},
        {"TITLE \"x\"\nLUT_3D_SIZE two\n", "LUT_3D_SIZE is not followed by a whole number (line 2)"},
        {"lut_3d_size 2\n" + Rows(8), "no line starts with \"LUT_3D_SIZE \""},
        {"LUT_3D_SIZE 2\nDOMAIN_MIN 0 0 0\n", "no row of three numbers follows LUT_3D_SIZE"},
        // Rows count from the first data row, lines from the top of the file (empty ones included).
        {"LUT_3D_SIZE 3\n\n" + Rows(16) + "0.5 0.5\n" + Rows(10), "row 17 is not three numbers (line 19)"},
        {"LUT_3D_SIZE 3\n" + Rows(16) + "# note\n", "row 17 is not three numbers (line 18)"},
        {"LUT_3D_SIZE 2\n" + Rows(7), "the data ends after 7 of 8 rows"},
    };
    for (const auto& test : cases) {
        const CubeLoader cube = Load(test.text);
        EXPECT_FALSE(cube.ok) << test.reason;
        EXPECT_EQ(cube.error, test.reason);
    }
    EXPECT_EQ(Load(kDecoratedTable).error, "");
}
