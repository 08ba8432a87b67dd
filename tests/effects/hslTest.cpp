#include "effects/hsl.h"

#include <gtest/gtest.h>

#include <string>

#include "effects/bufferReadback.h"
#include "effects/screenEffectFixture.h"
#include "support/logCapture.h"

namespace {

using Effects::HSL;
using TestSupport::LogCapture;

class HslTest : public TestSupport::ScreenEffectTest {
protected:
    void SetUp() override {
        ScreenEffectTest::SetUp();
        if (IsSkipped()) return;
        CopyDemoFile("hsl.fx");
    }

    HSL& LoadHsl(const std::string& params) {
        EXPECT_TRUE(Load("<effect type='HSL'>" + params + "</effect>"));
        return static_cast<HSL&>(*effects.at(0));
    }

    // The colour a constant grading makes of `colour`.
    std::array<int, 4> Graded(const std::string& params, std::array<float, 4> colour) {
        LoadHsl(params);
        Fill(colour);
        Run(0.0);
        return Current().At(400, 300);
    }
};

std::string Number(const std::string& key, double value) {
    return "<param key='" + key + "' type='double' value='" + std::to_string(value) + "'/>";
}

TEST_F(HslTest, WithoutParametersWritesNeutralBlockAndKeepsThePicture) {
    HSL& hsl = LoadHsl("");
    Fill({0.8f, 0.3f, 0.1f, 1.0f});
    Run(0.0);
    const auto constants = TestSupport::ReadBufferAs<HSL::Constants>(hsl.GetConstants().GetBuffer());
    EXPECT_EQ(constants.hue, 0.0f);
    EXPECT_EQ(constants.saturation, 1.0f);
    EXPECT_EQ(constants.luminance, 1.0f);
    EXPECT_TRUE(TestSupport::PixelNear(Current(), 400, 300, {204, 77, 26, 255}, 1));
}

TEST_F(HslTest, EachFrameAdvancesThePairByOneAndLeavesThePictureBound) {
    LoadHsl("");
    Run(0.0);
    EXPECT_EQ(pair->current, 1);
    EXPECT_EQ(Context().PSGetShaderResource(0), pair->textures[0]->view);
    EXPECT_EQ(Context().VSGetShaderResource(0), pair->textures[0]->view);
    Run(0.0);
    EXPECT_EQ(pair->current, 0);
}

TEST_F(HslTest, HueTurnsAroundTheColourWheelInDegrees) {
    auto colour = Graded(Number("hue", 120.0), {1.0f, 0.0f, 0.0f, 1.0f});
    EXPECT_EQ(colour[0], 0);
    EXPECT_EQ(colour[1], 255);
    EXPECT_EQ(colour[2], 0);
    colour = Graded(Number("hue", -120.0), {1.0f, 0.0f, 0.0f, 1.0f});
    EXPECT_LE(colour[0], 1);
    EXPECT_LE(colour[1], 1);
    EXPECT_GE(colour[2], 254);
    // Turning keeps saturation and lightness: a pale orange becomes a pale azure.
    colour = Graded(Number("hue", 180.0), {1.0f, 0.8f, 0.6f, 1.0f});
    EXPECT_NEAR(colour[0], 153, 1);
    EXPECT_NEAR(colour[1], 204, 1);
    EXPECT_NEAR(colour[2], 255, 1);
}

TEST_F(HslTest, SaturationAndLuminanceScaleInHslSpace) {
    // No saturation: the grey of the same lightness, (max + min) / 2.
    auto colour = Graded(Number("saturation", 0.0), {0.8f, 0.4f, 0.2f, 1.0f});
    EXPECT_NEAR(colour[0], 128, 1);
    EXPECT_EQ(colour[0], colour[1]);
    EXPECT_EQ(colour[1], colour[2]);
    // Half the lightness of pure red is dark red, not a darker grey.
    colour = Graded(Number("luminance", 0.5), {1.0f, 0.0f, 0.0f, 1.0f});
    EXPECT_NEAR(colour[0], 128, 1);
    EXPECT_LE(colour[1], 1);
    EXPECT_LE(colour[2], 1);
    // Scaled past the top, lightness stops at white.
    colour = Graded(Number("luminance", 3.0), {0.5f, 0.2f, 0.2f, 1.0f});
    EXPECT_EQ(colour[0], 255);
    EXPECT_EQ(colour[1], 255);
    EXPECT_EQ(colour[2], 255);
    // Half the saturation pulls a colour halfway to its grey.
    colour = Graded(Number("saturation", 0.5), {1.0f, 0.0f, 0.0f, 1.0f});
    EXPECT_NEAR(colour[0], 191, 1);
    EXPECT_NEAR(colour[1], 64, 1);
    EXPECT_NEAR(colour[2], 64, 1);
}

TEST_F(HslTest, ParametersAreKeyframedOnTheLocalClock) {
    HSL& hsl = LoadHsl(
        "<param key='hue' type='double'><key time='0' value='0'/><key time='4' value='90'/></param>"
        "<param key='saturation' type='double' value='0.25'/>");
    Run(2.0);
    const auto constants = TestSupport::ReadBufferAs<HSL::Constants>(hsl.GetConstants().GetBuffer());
    EXPECT_FLOAT_EQ(constants.hue, 45.0f);
    EXPECT_FLOAT_EQ(constants.saturation, 0.25f);
    EXPECT_EQ(constants.luminance, 1.0f);
}

TEST_F(HslTest, UnbindableShaderGivesHotPinkWithoutFlipping) {
    Data().Write("hsl.fx", "this is not a shader");
    LogCapture log;
    LoadHsl("");
    Fill({0.2f, 0.4f, 0.6f, 1.0f});
    Run(0.0);
    EXPECT_EQ(pair->current, 0);
    EXPECT_TRUE(TestSupport::PixelNear(Current(), 400, 300, {255, 105, 180, 255}, 1));
    EXPECT_FALSE(log.Lines().empty());
}

}  // namespace
