#include "effects/fullScreenShaderEffect.h"

#include <gtest/gtest.h>

#include <string>

#include "effects/screenEffectFixture.h"
#include "support/logCapture.h"

namespace {

using TestSupport::LogCapture;
using TestSupport::LogLine;
using TestSupport::Png;
using TestSupport::Rgba;
using TestSupport::RgbNear;

// Post-processes reading the picture so far at t0 and the extra image at t1.
const std::string kShader = std::string(TestSupport::kQuadVertexShader) + R"(
cbuffer Block : register(b0) { float time; float3 pad; };
Texture2D picture : register(t0);
Texture2D image : register(t1);
SamplerState pointClamp : register(s1);
float4 PS_Invert(PixelIn input) : SV_Target {
    return float4(1.0 - picture.Sample(pointClamp, input.texcoord).rgb, 1.0);
}
float4 PS_Tint(PixelIn input) : SV_Target {
    return float4(picture.Sample(pointClamp, input.texcoord).rgb * image.Sample(pointClamp, input.texcoord).rgb, 1.0);
}
float4 PS_Time(PixelIn input) : SV_Target { return float4(time / 8.0, 0.0, 0.0, 1.0); }
)";

class FullScreenShaderEffectTest : public TestSupport::ScreenEffectTest {
protected:
    void SetUp() override {
        ScreenEffectTest::SetUp();
        if (IsSkipped()) return;
        Data().Write("post.fx", kShader);
        Data().Write("yellow.png", Png(1, 1, {Rgba(255, 255, 0)}));
    }

    bool LoadEffect(const std::string& entry, const std::string& attributes = "") {
        return Load("<effect type='FullScreenShaderEffect' " + attributes +
                    "><param key='shader' type='string' value='post.fx'/>"
                    "<param key='image' type='string' value='yellow.png'/>"
                    "<param key='pixelShader' type='string' value='" +
                    entry + "'/></effect>");
    }
};

TEST_F(FullScreenShaderEffectTest, ReadsThePictureSoFarAndMakesItsResultCurrent) {
    ASSERT_TRUE(LoadEffect("PS_Invert"));
    Fill({0.2f, 0.4f, 0.6f, 1.0f});
    Run(0.0);
    EXPECT_EQ(pair->current, 1);
    EXPECT_TRUE(RgbNear(Current(), 400, 300, {204, 153, 102}));
    // The picture it read is left as it was.
    EXPECT_TRUE(RgbNear(Read(pair->textures[0]->texture), 400, 300, {51, 102, 153}));

    Run(0.0);
    EXPECT_EQ(pair->current, 0);
    EXPECT_TRUE(RgbNear(Current(), 400, 300, {51, 102, 153}));
}

TEST_F(FullScreenShaderEffectTest, ImageArrivesAtSlotOne) {
    ASSERT_TRUE(LoadEffect("PS_Tint"));
    Fill({1.0f, 0.5f, 1.0f, 1.0f});
    Run(0.0);
    EXPECT_TRUE(RgbNear(Current(), 400, 300, {255, 128, 0}));
}

TEST_F(FullScreenShaderEffectTest, BlockHoldsTheLocalTime) {
    ASSERT_TRUE(LoadEffect("PS_Time", "start='10' speed='2'"));
    Run(11.0);
    EXPECT_TRUE(RgbNear(Current(), 400, 300, {64, 0, 0}));
}

TEST_F(FullScreenShaderEffectTest, EntriesCompileAtTheFirstDraw) {
    LogCapture log;
    ASSERT_TRUE(LoadEffect("PS_Invert"));
    EXPECT_TRUE(log.Lines().empty());
    LogCapture drawLog;
    Run(0.0);
    const auto& lines = drawLog.Lines();
    EXPECT_NE(
        std::find(lines.begin(), lines.end(),
                  LogLine{"Shader::Set",
                          "Shader trying to use unloaded pixel shader 'PS_Invert'. Trying to load it now.."}),
        lines.end());
}

TEST_F(FullScreenShaderEffectTest, UnbindableShaderGivesHotPinkWithoutFlipping) {
    ASSERT_TRUE(LoadEffect("PS_Missing"));
    Fill({0.2f, 0.4f, 0.6f, 1.0f});
    LogCapture log;
    Run(0.0);
    EXPECT_EQ(pair->current, 0);
    EXPECT_TRUE(TestSupport::PixelNear(Current(), 400, 300, {255, 105, 180, 255}, 1));
    EXPECT_TRUE(TestSupport::PixelNear(Read(pair->textures[1]->texture), 400, 300, {0, 0, 0, 0}, 0));
}

TEST_F(FullScreenShaderEffectTest, MissingImageLeavesSlotOneEmptyAndThePassRuns) {
    LogCapture log;
    ASSERT_TRUE(
        Load("<effect type='FullScreenShaderEffect'><param key='shader' type='string' value='post.fx'/>"
             "<param key='pixelShader' type='string' value='PS_Invert'/></effect>"));
    Run(0.0);
    EXPECT_EQ(pair->current, 1);
    EXPECT_EQ(Context().PSGetShaderResource(1), nullptr);
    EXPECT_TRUE(RgbNear(Current(), 400, 300, {255, 255, 255}));
}

}  // namespace
