#include "graphics/spriteRenderer.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "effects/bufferReadback.h"
#include "effects/screenEffectFixture.h"

namespace {

using TestSupport::Image;
using TestSupport::PixelNear;
using TestSupport::Rgba;

constexpr uint32_t kCell = 8;
constexpr uint32_t kAcross = 4;
constexpr uint32_t kDown = 2;

// A grid of 4 by 2 cells of 8 by 8 texels, each cell one solid colour: cell i has red 30 i and blue
// `blue`.
std::string CellsPng(uint32_t blue) {
    std::vector<uint32_t> pixels(kCell * kAcross * kCell * kDown);
    for (uint32_t y = 0; y < kCell * kDown; ++y) {
        for (uint32_t x = 0; x < kCell * kAcross; ++x) {
            const uint32_t cell = (y / kCell) * kAcross + x / kCell;
            pixels[y * kCell * kAcross + x] = Rgba(30 * cell, 200, blue);
        }
    }
    return TestSupport::Png(kCell * kAcross, kCell * kDown, pixels);
}

SpriteInstance Sprite(float x, float y, int32_t cell, float scale = 1.0f) {
    SpriteInstance sprite;
    sprite.x = x;
    sprite.y = y;
    sprite.colour = {1.0f, 1.0f, 1.0f, 1.0f};
    sprite.scale = scale;
    sprite.cell = cell;
    return sprite;
}

class SpriteRendererTest : public TestSupport::ScreenEffectTest {
protected:
    void SetUp() override {
        ScreenEffectTest::SetUp();
        if (IsSkipped()) return;
        CopyDemoFile("sprites.fx");
        Data().Write("cells.png", CellsPng(0));
        Fill({0.0f, 0.0f, 0.0f, 1.0f});
    }

    void Draw(SpriteRenderer& renderer, const std::vector<SpriteInstance>& sprites) {
        renderer.SetInstances(sprites.data(), static_cast<uint32_t>(sprites.size()));
        renderer.Render(pair.get());
    }
};

TEST_F(SpriteRendererTest, SpritesShowTheirCellAtTheirPixelPlace) {
    SpriteRenderer renderer("cells.png", kCell, kCell, kAcross, kDown);
    // Cell 5 is the second of the second row; -3 counts back from the end of the grid to cell 5.
    Draw(renderer, {Sprite(100, 50, 5), Sprite(300, 60, 2), Sprite(500, 70, -3)});
    const Image image = Current();
    EXPECT_TRUE(PixelNear(image, 100, 50, {150, 200, 0, 255})) << "top left texel";
    EXPECT_TRUE(PixelNear(image, 107, 57, {150, 200, 0, 255})) << "bottom right texel";
    EXPECT_TRUE(PixelNear(image, 108, 54, {0, 0, 0, 255})) << "right of the sprite";
    EXPECT_TRUE(PixelNear(image, 103, 49, {0, 0, 0, 255})) << "above the sprite";
    EXPECT_TRUE(PixelNear(image, 304, 64, {60, 200, 0, 255}));
    EXPECT_TRUE(PixelNear(image, 504, 74, {150, 200, 0, 255})) << "negative cell";
}

TEST_F(SpriteRendererTest, ColourMultipliesAndLaterSpritesLieOnTop) {
    SpriteRenderer renderer("cells.png", kCell, kCell, kAcross, kDown);
    SpriteInstance tinted = Sprite(200, 200, 1);
    tinted.colour = {0.5f, 0.5f, 1.0f, 1.0f};
    Draw(renderer, {Sprite(196, 200, 7), tinted});
    const Image image = Current();
    EXPECT_TRUE(PixelNear(image, 197, 203, {210, 200, 0, 255})) << "first sprite alone";
    EXPECT_TRUE(PixelNear(image, 202, 203, {15, 100, 0, 255})) << "second over the first";
}

TEST_F(SpriteRendererTest, ScaleGrowsTheSpriteAboutItsCentre) {
    SpriteRenderer renderer("cells.png", kCell, kCell, kAcross, kDown);
    Draw(renderer, {Sprite(100, 100, 3, 2.0f)});
    const Image image = Current();
    // 16 pixels across, centred where the unscaled sprite's centre (104, 104) was.
    EXPECT_TRUE(PixelNear(image, 98, 98, {90, 200, 0, 255}));
    EXPECT_TRUE(PixelNear(image, 109, 109, {90, 200, 0, 255}));
    EXPECT_TRUE(PixelNear(image, 95, 104, {0, 0, 0, 255}));
    EXPECT_TRUE(PixelNear(image, 112, 104, {0, 0, 0, 255}));
}

TEST_F(SpriteRendererTest, ConstantBlockIsWrittenOnceWithTargetCellAndGridSizes) {
    SpriteRenderer renderer("cells.png", kCell, 16, kAcross, kDown);
    const auto constants = TestSupport::ReadBufferAs<SpriteConstants>(renderer.GetConstants().GetBuffer());
    EXPECT_EQ(constants.targetSize.x, 800.0f);
    EXPECT_EQ(constants.targetSize.y, 600.0f);
    EXPECT_EQ(constants.cellSize.x, 8.0f);
    EXPECT_EQ(constants.cellSize.y, 16.0f);
    EXPECT_EQ(constants.gridSize.x, 4.0f);
    EXPECT_EQ(constants.gridSize.y, 2.0f);
    const std::vector<SpriteInstance> sprites = {Sprite(10, 10, 0)};
    Draw(renderer, sprites);
    Counters().Reset();
    Draw(renderer, sprites);
    EXPECT_EQ(Counters().maps, 0u);
    EXPECT_EQ(Counters().draws, 1u);
}

TEST_F(SpriteRendererTest, EditedTextureIsDrawnInTheNextFrame) {
    SpriteRenderer renderer("cells.png", kCell, kCell, kAcross, kDown);
    Draw(renderer, {Sprite(40, 40, 0)});
    EXPECT_TRUE(PixelNear(Current(), 44, 44, {0, 200, 0, 255}));
    TestSupport::Touch(Data().Write("cells.png", CellsPng(255)));
    Draw(renderer, {Sprite(40, 40, 0)});
    EXPECT_TRUE(PixelNear(Current(), 44, 44, {0, 200, 255, 255}));
}

TEST_F(SpriteRendererTest, GridWithoutCellsDrawsNothing) {
    for (const std::array<uint32_t, 4>& sizes :
         std::vector<std::array<uint32_t, 4>>{{0, 8, 4, 2}, {8, 0, 4, 2}, {8, 8, 0, 2}, {8, 8, 4, 0}}) {
        SpriteRenderer renderer("cells.png", sizes[0], sizes[1], sizes[2], sizes[3]);
        Counters().Reset();
        Draw(renderer, {Sprite(40, 40, 1)});
        EXPECT_EQ(Counters().draws, 0u);
        EXPECT_TRUE(PixelNear(Current(), 44, 44, {0, 0, 0, 255}, 0));
    }
}

TEST_F(SpriteRendererTest, UnbindableShaderClearsToHotPink) {
    Data().Write("sprites.fx", "not a shader");
    SpriteRenderer renderer("cells.png", kCell, kCell, kAcross, kDown);
    Draw(renderer, {Sprite(40, 40, 1)});
    EXPECT_TRUE(PixelNear(Current(), 600, 500, {255, 105, 180, 255}, 1));
}

TEST_F(SpriteRendererTest, MissingTextureDrawsNothingVisible) {
    SpriteRenderer renderer("missing.png", kCell, kCell, kAcross, kDown);
    Fill({0.5f, 0.5f, 0.5f, 1.0f});
    Draw(renderer, {Sprite(40, 40, 1)});
    EXPECT_TRUE(TestSupport::RgbNear(Current(), 44, 44, {128, 128, 128}, 1));
}

}  // namespace
