#include "effects/textWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "effects/shapesFixture.h"
#include "platform/image/imageCodec.h"
#include "support/tempFolder.h"

namespace {

using Effects::TextWriter;
using TestSupport::LogCapture;
using TestSupport::RgbNear;

std::string Int(const std::string& key, int value) {
    return "<param key='" + key + "' type='int' value='" + std::to_string(value) + "'/>";
}

// A writer over a font of two opaque white cells of `cell` pixels, text at (100, 50) in red.
std::string Params(const std::string& text, int cell = 16, const std::string& extra = "") {
    return "<param key='texture' type='string' value='font.png'/>" + Int("charWidth", cell) +
           Int("charHeight", cell) + Int("charsWide", 2) + Int("charsHigh", 1) +
           "<param key='text' type='string' value='" + text + "'/>" +
           "<param key='pos' type='vec2' x='100' y='50'/>" +
           "<param key='colour' type='vec4' x='1' y='0' z='0' w='1'/>" + extra;
}

class TextWriterTest : public TestSupport::ShapesTest {
protected:
    void SetUp() override {
        ShapesTest::SetUp();
        if (IsSkipped()) return;
        Data().Write("font.png", TestSupport::Png(
                                     16, 8, std::vector<uint32_t>(16 * 8, TestSupport::Rgba(255, 255, 255))));
    }
    TextWriter& LoadWriter(const std::string& params) { return LoadEffect<TextWriter>("TextWriter", params); }
    std::vector<SpriteInstance> Sprites(const std::string& params, double t) {
        std::vector<SpriteInstance> sprites;
        LoadWriter(params).BuildSprites(t, sprites);
        return sprites;
    }
};

void ExpectAt(const SpriteInstance& sprite, float x, float y, const char* what) {
    EXPECT_NEAR(sprite.x, x, 1e-3f) << what;
    EXPECT_NEAR(sprite.y, y, 1e-3f) << what;
}

TEST_F(TextWriterTest, EachCharacterFliesInAlongItsOwnDirection) {
    // The first starts 1000 pixels below its place and arrives at 1, with no lower bound before; the
    // second leaves at 0.2 from direction (sin 0.2, cos 0.2) and arrives at 1.2. Each glyph lies one
    // pixel up and left of its shadow.
    const struct {
        double t;
        size_t sprite;
        float x, y;
    } cases[] = {
        {0.0, 0, 100, 1050},
        {0.0, 1, 99, 1049},
        {1.0, 0, 100, 50},
        {-1.0, 0, 100, 2050},
        {0.2, 2, 116 + std::sin(0.2f) * 1000, 50 + std::cos(0.2f) * 1000},
        {1.2, 2, 116, 50},
        {9.0, 3, 115, 49},
    };
    for (const auto& c : cases) {
        const std::vector<SpriteInstance> sprites = Sprites(Params("ab"), c.t);
        ASSERT_EQ(sprites.size(), 4u);
        ExpectAt(sprites[c.sprite], c.x, c.y,
                 (std::to_string(c.sprite) + " at " + std::to_string(c.t)).c_str());
    }
}

TEST_F(TextWriterTest, RecordsHoldShadowThenGlyphWithTheCellAsASignedByte) {
    const std::vector<SpriteInstance> sprites = Sprites(Params("A\xC9&#10;"), 5.0);
    ASSERT_EQ(sprites.size(), 6u);
    EXPECT_EQ(sprites[0].cell, 65);
    EXPECT_EQ(sprites[0].colour.w, 0.5f);
    EXPECT_EQ(sprites[0].colour.x, 0.0f);
    EXPECT_EQ(sprites[1].colour.x, 1.0f);
    EXPECT_EQ(sprites[1].scale, 1.0f);
    EXPECT_EQ(sprites[1].rotation, 0.0f);
    EXPECT_EQ(sprites[2].cell, -55);
    // A line feed is drawn like any character and moves the pen on.
    EXPECT_EQ(sprites[4].cell, 10);
    ExpectAt(sprites[4], 132.0f, 50.0f, "line feed");
}

TEST_F(TextWriterTest, CarriageReturnStartsANewLineWithoutCountingAsACharacter) {
    std::vector<SpriteInstance> sprites = Sprites(Params("ab&#13;c"), 1.4);
    ASSERT_EQ(sprites.size(), 6u);
    ExpectAt(sprites[4], 100.0f, 70.0f, "third arrives at 1.4");
    sprites = Sprites(Params("ab&#13;c"), 0.4);
    ExpectAt(sprites[4], 100.0f + std::sin(0.4f) * 1000.0f, 70.0f + std::cos(0.4f) * 1000.0f,
             "third leaves at 0.4");
    // Only carriage returns: nothing to draw.
    LoadWriter(Params("&#13;&#13;"));
    Counters().Reset();
    Run(2.0);
    EXPECT_EQ(Counters().draws, 0u);
}

TEST_F(TextWriterTest, LongTextsAreCutAtTheRenderersCapacityWithOneMessage) {
    EXPECT_EQ(Sprites(Params(std::string(256, 'x')), 0.0).size(), 512u) << "256 characters fill it exactly";
    LogCapture log;
    TextWriter& writer = LoadWriter(Params(std::string(300, 'x') + "&#13;"));
    for (int frame = 0; frame < 3; ++frame) Run(double(frame));
    EXPECT_EQ(writer.GetRenderer()->GetInstances().GetCount(), 512u);
    EXPECT_EQ(TestSupport::CountLines(log, "300 characters"), 1);
}

TEST_F(TextWriterTest, ParametersAreReadOnceAtLoad) {
    const std::string moving =
        "<param key='pos' type='vec2'><key time='0' x='10' y='20'/><key time='1' x='500' y='500'/></param>";
    // The later "pos" replaces the one in Params.
    const std::vector<SpriteInstance> sprites = Sprites(Params("a", 16, moving), 5.0);
    ExpectAt(sprites[0], 10.0f, 20.0f, "where pos was at time 0");
}

TEST_F(TextWriterTest, AbsurdSizesOrPlacesDrawNothingAfterOneMessage) {
    const struct {
        const char* what;
        std::string params;
    } cases[] = {
        {"no cell width", Params("abc", 0)},
        {"a negative cell width", Params("abc", -5)},
        {"a grid of no cells", Params("abc", 16, Int("charsWide", 0))},
        {"a place that is no number", Params("abc", 16, "<param key='pos' type='vec2' x='nan' y='0'/>")},
        {"no parameters at all", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LogCapture log;
        const TextWriter& writer = LoadWriter(c.params);
        EXPECT_EQ(writer.GetRenderer(), nullptr);
        Counters().Reset();
        Run(2.0);
        EXPECT_EQ(Counters().draws, 0u);
        EXPECT_FALSE(log.Lines().empty());
    }
}

TEST_F(TextWriterTest, ShadowLiesOnePixelDownAndRightUnderTheGlyph) {
    LoadWriter(Params("A", 8));
    Fill({0.5f, 0.5f, 0.5f, 1.0f});
    Run(2.0);
    const TestSupport::Image image = Current();
    // The glyph covers 99 to 106 both ways, its shadow 100 to 107.
    EXPECT_TRUE(RgbNear(image, 99, 49, {255, 0, 0})) << "glyph's top left";
    EXPECT_TRUE(RgbNear(image, 106, 56, {255, 0, 0})) << "glyph over shadow";
    EXPECT_TRUE(RgbNear(image, 107, 57, {64, 64, 64})) << "shadow's bottom right";
    EXPECT_TRUE(RgbNear(image, 103, 57, {64, 64, 64})) << "shadow below the glyph";
    EXPECT_TRUE(RgbNear(image, 107, 49, {128, 128, 128})) << "neither";
}

TEST_F(TextWriterTest, BundledFontIsWhatItsGeneratorMakes) {
    const std::filesystem::path tool = std::filesystem::path(VANTRISK_BUILD_DIR) / "tool_fontAtlas";
    if (!std::filesystem::exists(tool)) GTEST_SKIP() << "the generator is not built";
    TestSupport::TempFolder folder;
    const std::filesystem::path made = folder.Path() / "font.png";
    const std::string command = tool.string() + " " + made.string() + " > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    auto decode = [](const std::filesystem::path& path) {
        const std::string bytes = TestSupport::ReadHostFile(path);
        Image::Picture picture;
        std::string error;
        EXPECT_TRUE(Image::Decode(bytes.data(), bytes.size(), picture, error)) << path << ": " << error;
        return picture;
    };
    const Image::Picture expected = decode(std::filesystem::path(VANTRISK_SOURCE_DIR) / "data" / "font.png");
    const Image::Picture actual = decode(made);
    EXPECT_EQ(actual.width, 16 * 18);
    EXPECT_EQ(actual.height, 16 * 32);
    EXPECT_TRUE(actual.rgba == expected.rgba) << "run tool_fontAtlas to bring data/font.png up to date";
}

}  // namespace
