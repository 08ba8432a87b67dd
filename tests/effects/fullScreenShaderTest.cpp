#include "effects/fullScreenShader.h"

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

// Writes the constant block out as colours, always opaque so that the blend state in force keeps the
// values: the left third shows (time / 8, float1, float2), the middle (float3, float4, float5), the
// right (float6, 0, 0). The other entries show the two images.
const std::string kShader = std::string(TestSupport::kQuadVertexShader) + R"(
cbuffer Block : register(b0) { float time; float f1; float f2; float f3; float f4; float f5; float f6; float pad; };
Texture2D first : register(t0);
Texture2D second : register(t1);
SamplerState pointClamp : register(s1);
float4 PS_Block(PixelIn input) : SV_Target {
    if (input.texcoord.x < 1.0 / 3.0) return float4(time / 8.0, f1, f2, 1.0);
    if (input.texcoord.x < 2.0 / 3.0) return float4(f3, f4, f5, 1.0);
    return float4(f6, 0.0, 0.0, 1.0);
}
float4 PS_First(PixelIn input) : SV_Target { return float4(first.Sample(pointClamp, input.texcoord).rgb, 1.0); }
float4 PS_Second(PixelIn input) : SV_Target { return float4(second.Sample(pointClamp, input.texcoord).rgb, 1.0); }
)";

class FullScreenShaderTest : public TestSupport::ScreenEffectTest {
protected:
    void SetUp() override {
        ScreenEffectTest::SetUp();
        if (IsSkipped()) return;
        Data().Write("test.fx", kShader);
        Data().Write("red.png", Png(1, 1, {Rgba(255, 0, 0)}));
        Data().Write("blue.png", Png(1, 1, {Rgba(0, 0, 255)}));
    }

    // One FullScreenShader with the given entry and extra "param" elements and attributes.
    bool LoadShader(const std::string& entry, const std::string& params, const std::string& attributes = "") {
        return Load("<effect type='FullScreenShader' " + attributes +
                    "><param key='shader' type='string' value='test.fx'/>"
                    "<param key='pixelShader' type='string' value='" +
                    entry + "'/>" + params + "</effect>");
    }
};

TEST_F(FullScreenShaderTest, BlockHoldsLocalTimeAndTheNumbersWithZeroForAnAbsentOne) {
    // No "float3": offset 12 must read 0 while its neighbours arrive. "float5" is a keyframed track.
    ASSERT_TRUE(LoadShader(
        "PS_Block",
        "<param key='float1' type='double' value='0.25'/>"
        "<param key='float2' type='double' value='0.5'/>"
        "<param key='float4' type='double' value='0.75'/>"
        "<param key='float5' type='double'><key time='0' value='0'/><key time='4' value='1'/></param>"
        "<param key='float6' type='double' value='1'/>",
        "start='10' speed='2'"));
    LogCapture log;
    Run(11.0);  // local time (11 - 10) * 2 = 2
    EXPECT_TRUE(log.Lines().empty()) << log.Lines().front().text;
    const auto picture = Current();
    EXPECT_TRUE(RgbNear(picture, 100, 300, {64, 64, 128}));
    EXPECT_TRUE(RgbNear(picture, 400, 300, {0, 191, 128}));
    EXPECT_TRUE(RgbNear(picture, 700, 300, {255, 0, 0}));
}

TEST_F(FullScreenShaderTest, DrawsIntoTheCurrentTextureWithoutFlipping) {
    ASSERT_TRUE(LoadShader("PS_Block", "<param key='float6' type='double' value='1'/>"));
    pair->Flip();
    Run(0.0);
    EXPECT_EQ(pair->current, 1);
    EXPECT_TRUE(RgbNear(Current(), 700, 10, {255, 0, 0}));
    EXPECT_TRUE(RgbNear(Read(pair->textures[0]->texture), 700, 10, {0, 0, 0}));
}

TEST_F(FullScreenShaderTest, ImageTakesPrecedenceOverImage1) {
    ASSERT_TRUE(LoadShader("PS_First",
                           "<param key='image1' type='string' value='blue.png'/>"
                           "<param key='image' type='string' value='red.png'/>"));
    Run(0.0);
    EXPECT_TRUE(RgbNear(Current(), 400, 300, {255, 0, 0}));

    ASSERT_TRUE(LoadShader("PS_First", "<param key='image1' type='string' value='blue.png'/>"));
    Run(0.0);
    EXPECT_TRUE(RgbNear(Current(), 400, 300, {0, 0, 255}));
}

TEST_F(FullScreenShaderTest, WithoutImage2SlotOneIsEmpty) {
    ASSERT_TRUE(LoadShader("PS_Second", "<param key='image' type='string' value='red.png'/>"));
    Run(0.0);
    EXPECT_NE(Context().PSGetShaderResource(0), nullptr);
    EXPECT_NE(Context().VSGetShaderResource(0), nullptr);
    EXPECT_EQ(Context().PSGetShaderResource(1), nullptr);
    EXPECT_EQ(Context().VSGetShaderResource(1), nullptr);

    ASSERT_TRUE(LoadShader("PS_Second",
                           "<param key='image' type='string' value='red.png'/>"
                           "<param key='image2' type='string' value='blue.png'/>"));
    Run(0.0);
    EXPECT_NE(Context().PSGetShaderResource(1), nullptr);
    EXPECT_TRUE(RgbNear(Current(), 400, 300, {0, 0, 255}));
}

TEST_F(FullScreenShaderTest, WithNeitherImageNorImage1TheFirstSlotIsEmptyAfterAMessage) {
    LogCapture log;
    ASSERT_TRUE(LoadShader("PS_First", ""));
    const auto& lines = log.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), LogLine{"Params::Get", "Couldn't find param 'image1'"}),
              lines.end());
    Run(0.0);
    EXPECT_EQ(Context().PSGetShaderResource(0), nullptr);
}

TEST_F(FullScreenShaderTest, EditedImageIsDrawnInTheNextFrame) {
    ASSERT_TRUE(LoadShader("PS_First", "<param key='image' type='string' value='picture.png'/>"));
    const auto path = Data().Write("picture.png", Png(1, 1, {Rgba(0, 255, 0)}));
    // Loaded before the file existed: nothing to show yet, and the creation of the file is an edit.
    TestSupport::Touch(path);
    LogCapture log;
    Run(0.0);
    EXPECT_TRUE(RgbNear(Current(), 400, 300, {0, 255, 0}));

    Data().Write("picture.png", Png(1, 1, {Rgba(255, 255, 0)}));
    TestSupport::Touch(path);
    Run(0.0);
    EXPECT_TRUE(RgbNear(Current(), 400, 300, {255, 255, 0}));
}

TEST_F(FullScreenShaderTest, UnbindableShaderGivesHotPinkInPlace) {
    ASSERT_TRUE(LoadShader("PS_Missing", ""));
    pair->Flip();
    LogCapture log;
    Run(0.0);
    EXPECT_EQ(pair->current, 1);
    EXPECT_TRUE(TestSupport::PixelNear(Current(), 400, 300, {255, 105, 180, 255}, 1));
    EXPECT_TRUE(TestSupport::PixelNear(Read(pair->textures[0]->texture), 400, 300, {0, 0, 0, 0}, 0));
}

TEST_F(FullScreenShaderTest, MissingShaderFileAndEntryStillLoad) {
    LogCapture log;
    ASSERT_TRUE(Load("<effect type='FullScreenShader'/>"));
    Run(0.0);
    EXPECT_TRUE(TestSupport::PixelNear(Current(), 0, 0, {255, 105, 180, 255}, 1));
}

TEST_F(FullScreenShaderTest, UnchangedBlockIsNotUploadedAgain) {
    ASSERT_TRUE(LoadShader("PS_Block", "<param key='float1' type='double' value='0.25'/>"));
    Run(0.0);
    const auto uploads = Counters().uploads;
    Run(0.0);
    EXPECT_EQ(Counters().uploads, uploads);
    Run(1.0);
    EXPECT_GT(Counters().uploads, uploads);
}

}  // namespace
