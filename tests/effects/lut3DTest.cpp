#include "effects/lut3D.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "effects/bufferReadback.h"
#include "effects/screenEffectFixture.h"
#include "graphics/texture.h"
#include "support/logCapture.h"

namespace {

using Effects::Lut3D;
using TestSupport::Image;
using TestSupport::LogCapture;
using TestSupport::RgbNear;

struct Rgb {
    double r, g, b;
};

// A ".cube" table of edge `size` whose entry for (r, g, b) is `map` of it; red varies fastest.
std::string CubeText(int size, const std::function<Rgb(Rgb)>& map) {
    std::string text = "TITLE \"test\"\nLUT_3D_SIZE " + std::to_string(size) + "\n";
    char line[96];
    for (int b = 0; b < size; ++b) {
        for (int g = 0; g < size; ++g) {
            for (int r = 0; r < size; ++r) {
                const double scale = 1.0 / (size - 1);
                const Rgb out = map({r * scale, g * scale, b * scale});
                std::snprintf(line, sizeof line, "%.6f %.6f %.6f\n", out.r, out.g, out.b);
                text += line;
            }
        }
    }
    return text;
}

Rgb Identity(Rgb c) {
    return c;
}
Rgb Invert(Rgb c) {
    return {1.0 - c.r, 1.0 - c.g, 1.0 - c.b};
}

class Lut3DTest : public TestSupport::ScreenEffectTest {
protected:
    void SetUp() override {
        ScreenEffectTest::SetUp();
        if (IsSkipped()) return;
        CopyDemoFile("lut3D.fx");
    }

    Lut3D& LoadLut(const std::string& table, double strength = 1.0) {
        EXPECT_TRUE(Load("<effect type='Lut3D'><param key='lutName' type='string' value='" + table +
                         "'/><param key='strength' type='double' value='" + std::to_string(strength) +
                         "'/></effect>"));
        return static_cast<Lut3D&>(*effects.at(0));
    }

    // Every 8-bit level of each channel somewhere in the picture: red along x, green along y, blue
    // along both.
    Image FillGradient() {
        Image picture{800, 600, std::vector<uint8_t>(800 * 600 * 4)};
        for (uint32_t y = 0; y < 600; ++y) {
            for (uint32_t x = 0; x < 800; ++x) {
                uint8_t* p = &picture.rgba[(size_t(y) * 800 + x) * 4];
                p[0] = static_cast<uint8_t>(x * 255 / 799);
                p[1] = static_cast<uint8_t>(y * 255 / 599);
                p[2] = static_cast<uint8_t>((x + y) * 255 / 1398);
                p[3] = 255;
            }
        }
        Context().UpdateSubresource(pair->Current().texture, 0, nullptr, picture.rgba.data(), 800 * 4, 0);
        return picture;
    }
};

TEST_F(Lut3DTest, IdentityTablesOfAnySizeLeaveAGradientUnchanged) {
    for (int size : {2, 17, 33}) {
        SCOPED_TRACE(size);
        Data().Write("identity.cube", CubeText(size, Identity));
        LoadLut("identity.cube");
        pair->current = 0;
        const Image before = FillGradient();
        Run(0.0);
        EXPECT_EQ(pair->current, 1);
        EXPECT_TRUE(
            TestSupport::ImagesNear(Current(), before, 1, 0.0, "lut3d-identity-" + std::to_string(size)));
    }
}

TEST_F(Lut3DTest, InvertingTableInvertsAndStrengthBlends) {
    Data().Write("invert.cube", CubeText(9, Invert));
    LoadLut("invert.cube");
    Image expected = FillGradient();
    for (size_t i = 0; i < expected.rgba.size(); ++i) {
        if (i % 4 != 3) expected.rgba[i] = static_cast<uint8_t>(255 - expected.rgba[i]);
    }
    Run(0.0);
    EXPECT_TRUE(TestSupport::ImagesNear(Current(), expected, 1, 0.0, "lut3d-invert"));

    LoadLut("invert.cube", 0.5);
    Fill({1.0f, 0.0f, 0.2f, 1.0f});
    Run(0.0);
    EXPECT_TRUE(RgbNear(Current(), 400, 300, {128, 128, 128}, 1));

    LoadLut("invert.cube", 0.0);
    Fill({1.0f, 0.0f, 0.2f, 1.0f});
    Run(0.0);
    EXPECT_TRUE(RgbNear(Current(), 400, 300, {255, 0, 51}, 1));
}

TEST_F(Lut3DTest, TableIsReadWithRedAlongX) {
    // Only red is looked up: the table swaps red and blue.
    Data().Write("swap.cube", CubeText(5, [](Rgb c) { return Rgb{c.b, c.g, c.r}; }));
    LoadLut("swap.cube");
    Fill({1.0f, 0.5f, 0.0f, 1.0f});
    Run(0.0);
    EXPECT_TRUE(RgbNear(Current(), 400, 300, {0, 128, 255}, 1));
}

TEST_F(Lut3DTest, AdvancesThePairByOneAndUnbindsBothSlots) {
    Data().Write("identity.cube", CubeText(2, Identity));
    LoadLut("identity.cube");
    Run(0.0);
    EXPECT_EQ(pair->current, 1);
    for (uint32_t slot : {0u, 1u}) {
        EXPECT_EQ(Context().PSGetShaderResource(slot), nullptr) << slot;
        EXPECT_EQ(Context().VSGetShaderResource(slot), nullptr) << slot;
    }
    Run(0.0);
    EXPECT_EQ(pair->current, 0);
}

TEST_F(Lut3DTest, EditedTableIsUsedInTheNextFrame) {
    const auto path = Data().Write("grade.cube", CubeText(2, Identity));
    LoadLut("grade.cube");
    Fill({0.2f, 0.4f, 0.6f, 1.0f});
    Run(0.0);
    EXPECT_TRUE(RgbNear(Current(), 400, 300, {51, 102, 153}, 1));

    Data().Write("grade.cube", CubeText(2, Invert));
    TestSupport::Touch(path);
    Fill({0.2f, 0.4f, 0.6f, 1.0f});
    Run(0.0);
    EXPECT_TRUE(RgbNear(Current(), 400, 300, {204, 153, 102}, 1));
}

TEST_F(Lut3DTest, MissingTableIsLoggedAndThePicturePassesUnchanged) {
    LogCapture log;
    Lut3D& lut = LoadLut("missing.cube");
    EXPECT_EQ(lut.GetTable()->view, nullptr);
    const auto& lines = log.Lines();
    EXPECT_NE(
        std::find(lines.begin(), lines.end(),
                  TestSupport::LogLine{"Texture3D::Load", "TextureManager failed to open 'missing.cube'"}),
        lines.end());
    Fill({0.2f, 0.4f, 0.6f, 1.0f});
    Run(0.0);
    EXPECT_EQ(pair->current, 1);
    EXPECT_TRUE(RgbNear(Current(), 400, 300, {51, 102, 153}, 1));
}

TEST_F(Lut3DTest, UnbindableShaderGivesLightSeaGreenWithoutFlipping) {
    Data().Write("lut3D.fx", "float4 PS() : SV_Target { return nothing; }");
    Data().Write("identity.cube", CubeText(2, Identity));
    LogCapture log;
    LoadLut("identity.cube");
    Fill({0.2f, 0.4f, 0.6f, 1.0f});
    Run(0.0);
    EXPECT_EQ(pair->current, 0);
    EXPECT_TRUE(TestSupport::PixelNear(Current(), 400, 300, {32, 178, 170, 255}, 1));
}

TEST_F(Lut3DTest, MissingStrengthIsLoggedAndLeavesThePicture) {
    Data().Write("invert.cube", CubeText(2, Invert));
    ASSERT_TRUE(
        Load("<effect type='Lut3D'><param key='lutName' type='string' value='invert.cube'/></effect>"));
    Fill({0.2f, 0.4f, 0.6f, 1.0f});
    LogCapture log;
    Run(0.0);
    EXPECT_FALSE(log.Lines().empty());
    EXPECT_TRUE(RgbNear(Current(), 400, 300, {51, 102, 153}, 1));
}

}  // namespace
