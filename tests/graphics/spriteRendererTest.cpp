#include "graphics/spriteRenderer.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "effects/bufferReadback.h"
#include "effects/shapesFixture.h"

namespace {

using TestSupport::PixelNear;

// A grid of 4 by 2 cells of 8 by 8 texels, each one solid colour: cell i has red 30 i and blue `blue`.
std::string CellsPng(uint32_t blue) {
    std::vector<uint32_t> pixels(32 * 16);
    for (uint32_t i = 0; i < pixels.size(); ++i) {
        const uint32_t x = i % 32, y = i / 32;
        pixels[i] = TestSupport::Rgba(30 * ((y / 8) * 4 + x / 8), 200, blue);
    }
    return TestSupport::Png(32, 16, pixels);
}

SpriteInstance Sprite(float x, float y, int32_t cell, float scale = 1.0f, Vec4 colour = {1, 1, 1, 1}) {
    SpriteInstance sprite;
    sprite.x = x;
    sprite.y = y;
    sprite.colour = colour;
    sprite.scale = scale;
    sprite.cell = cell;
    return sprite;
}

class SpriteRendererTest : public TestSupport::ShapesTest {
protected:
    void SetUp() override {
        ShapesTest::SetUp();
        if (IsSkipped()) return;
        Data().Write("cells.png", CellsPng(0));
    }
    void Draw(SpriteRenderer& renderer, const std::vector<SpriteInstance>& sprites) {
        renderer.SetInstances(sprites.data(), static_cast<uint32_t>(sprites.size()));
        renderer.Render(pair.get());
    }
};

TEST_F(SpriteRendererTest, SpritesShowTheirCellAtTheirPixelPlaceInOrder) {
    SpriteRenderer renderer("cells.png", 8, 8, 4, 2);
    // Cell 5 is the second of the second row; -3 counts back from the end of the grid to cell 5; the
    // tinted sprite lies over the one before it; the last is twice the size about its centre.
    Draw(renderer, {Sprite(100, 50, 5), Sprite(300, 60, -3), Sprite(196, 200, 7),
                    Sprite(200, 200, 1, 1.0f, {0.5f, 0.5f, 1.0f, 1.0f}), Sprite(500, 100, 3, 2.0f)});
    const TestSupport::Image image = Current();
    EXPECT_TRUE(PixelNear(image, 100, 50, {150, 200, 0, 255})) << "top left texel";
    EXPECT_TRUE(PixelNear(image, 107, 57, {150, 200, 0, 255})) << "bottom right texel";
    EXPECT_TRUE(PixelNear(image, 108, 54, {0, 0, 0, 255})) << "right of the sprite";
    EXPECT_TRUE(PixelNear(image, 103, 49, {0, 0, 0, 255})) << "above the sprite";
    EXPECT_TRUE(PixelNear(image, 304, 64, {150, 200, 0, 255})) << "negative cell";
    EXPECT_TRUE(PixelNear(image, 197, 203, {210, 200, 0, 255})) << "first sprite alone";
    EXPECT_TRUE(PixelNear(image, 202, 203, {15, 100, 0, 255})) << "tinted, over the first";
    EXPECT_TRUE(PixelNear(image, 498, 98, {90, 200, 0, 255})) << "scaled";
    EXPECT_TRUE(PixelNear(image, 509, 109, {90, 200, 0, 255})) << "scaled";
    EXPECT_TRUE(PixelNear(image, 495, 104, {0, 0, 0, 255})) << "left of the scaled sprite";
    EXPECT_TRUE(PixelNear(image, 512, 104, {0, 0, 0, 255})) << "right of the scaled sprite";
}

TEST_F(SpriteRendererTest, ConstantBlockIsWrittenOnceAndAnEditedTextureShowsInTheNextFrame) {
    SpriteRenderer renderer("cells.png", 8, 16, 4, 2);
    const auto constants = TestSupport::ReadBufferAs<SpriteConstants>(renderer.GetConstants().GetBuffer());
    const float expected[6] = {800, 600, 8, 16, 4, 2};
    EXPECT_TRUE(std::equal(expected, expected + 6, &constants.targetSize.x));
    Draw(renderer, {Sprite(40, 40, 0)});
    EXPECT_TRUE(PixelNear(Current(), 44, 44, {0, 200, 0, 255}));
    Counters().Reset();
    Draw(renderer, {Sprite(40, 40, 0)});
    EXPECT_EQ(Counters().maps, 0u);
    EXPECT_EQ(Counters().draws, 1u);

    TestSupport::Touch(Data().Write("cells.png", CellsPng(255)));
    Draw(renderer, {Sprite(40, 40, 0)});
    EXPECT_TRUE(PixelNear(Current(), 44, 44, {0, 200, 255, 255}));
}

TEST_F(SpriteRendererTest, NothingIsDrawnWithoutCellsOrTexture) {
    for (const std::array<uint32_t, 4>& sizes :
         std::vector<std::array<uint32_t, 4>>{{0, 8, 4, 2}, {8, 0, 4, 2}, {8, 8, 0, 2}, {8, 8, 4, 0}}) {
        SpriteRenderer renderer("cells.png", sizes[0], sizes[1], sizes[2], sizes[3]);
        Counters().Reset();
        Draw(renderer, {Sprite(40, 40, 1)});
        EXPECT_EQ(Counters().draws, 0u);
    }
    // A texture that failed to load samples as nothing.
    SpriteRenderer renderer("missing.png", 8, 8, 4, 2);
    Fill({0.5f, 0.5f, 0.5f, 1.0f});
    Draw(renderer, {Sprite(40, 40, 1)});
    EXPECT_TRUE(TestSupport::RgbNear(Current(), 44, 44, {128, 128, 128}, 1));
}

TEST_F(SpriteRendererTest, UnbindableShaderClearsToHotPink) {
    Data().Write("sprites.fx", "not a shader");
    SpriteRenderer renderer("cells.png", 8, 8, 4, 2);
    Draw(renderer, {Sprite(40, 40, 1)});
    EXPECT_TRUE(PixelNear(Current(), 600, 500, {255, 105, 180, 255}, 1));
}

}  // namespace
