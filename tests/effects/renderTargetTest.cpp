#include "effects/renderTarget.h"

#include <gtest/gtest.h>

#include <string>

#include "effects/screenEffectFixture.h"
#include "support/logCapture.h"

namespace {

using TestSupport::LogCapture;
using TestSupport::PixelNear;
using TestSupport::RgbNear;

// "PS_HalfBlue" paints the left half opaque blue and leaves the right half transparent; "PS_Invert"
// is a post-process that flips the pair it is given.
const std::string kShader = std::string(TestSupport::kQuadVertexShader) + R"(
Texture2D picture : register(t0);
SamplerState pointClamp : register(s1);
float4 PS_HalfBlue(PixelIn input) : SV_Target {
    return input.texcoord.x < 0.5 ? float4(0.0, 0.0, 1.0, 1.0) : float4(0.0, 0.0, 0.0, 0.0);
}
float4 PS_Invert(PixelIn input) : SV_Target {
    float4 colour = picture.Sample(pointClamp, input.texcoord);
    return float4(1.0 - colour.rgb, colour.a);
}
)";

const char* kParentRed =
    "<effect type='CLS'><param key='colour' type='vec4' x='1' y='0' z='0' w='1'/></effect>";

std::string Generator(const std::string& entry, const std::string& attributes = "") {
    return "<effect type='FullScreenShader' " + attributes +
           "><param key='shader' type='string' value='test.fx'/>"
           "<param key='pixelShader' type='string' value='" +
           entry + "'/></effect>";
}

std::string PostProcess(const std::string& entry) {
    return "<effect type='FullScreenShaderEffect'><param key='shader' type='string' value='test.fx'/>"
           "<param key='image' type='string' value=''/>"
           "<param key='pixelShader' type='string' value='" +
           entry + "'/></effect>";
}

class RenderTargetTest : public TestSupport::ScreenEffectTest {
protected:
    void SetUp() override {
        ScreenEffectTest::SetUp();
        if (IsSkipped()) return;
        CopyDemoFile("final.fx");
        Data().Write("test.fx", kShader);
    }

    const Effects::RenderTarget& Group(size_t index) {
        return dynamic_cast<const Effects::RenderTarget&>(*effects.at(index));
    }
};

TEST_F(RenderTargetTest, GroupClearedToTransparentShowsTheParentWhereNothingDraws) {
    ASSERT_TRUE(Load(std::string(kParentRed) +
                     "<effect type='RenderTarget'>"
                     "<effect type='CLS'><param key='colour' type='vec4' x='0' y='0' z='0' w='0'/></effect>" +
                     Generator("PS_HalfBlue") + "</effect>"));
    Run(0.0);
    EXPECT_EQ(pair->current, 0);
    const auto picture = Current();
    EXPECT_TRUE(RgbNear(picture, 100, 300, {0, 0, 255}));
    EXPECT_TRUE(RgbNear(picture, 700, 300, {255, 0, 0}));
}

TEST_F(RenderTargetTest, GroupWithoutChildrenLeavesTheParentsColours) {
    ASSERT_TRUE(Load(std::string(kParentRed) + "<effect type='RenderTarget'/>"));
    Run(0.0);
    Run(1.0);
    EXPECT_TRUE(RgbNear(Current(), 400, 300, {255, 0, 0}));
}

TEST_F(RenderTargetTest, ChildrenRunOnTheGroupsClockAndTheirPictureStays) {
    // The group's local time is (t - 5) * 2; its child starts at local 1, so at show time 5.5.
    ASSERT_TRUE(Load(std::string(kParentRed) +
                     "<effect type='RenderTarget' start='5' speed='2'>"
                     "<effect type='CLS' start='1'><param key='colour' type='vec4'>"
                     "<key time='0' x='0' y='0' z='0' w='1'/><key time='2' x='1' y='1' z='1' w='1'/>"
                     "</param></effect></effect>"));
    Run(5.4);
    EXPECT_TRUE(RgbNear(Current(), 400, 300, {255, 0, 0}));
    Run(5.5);
    EXPECT_TRUE(PixelNear(Current(), 400, 300, {0, 0, 0, 255}));
    Run(6.0);  // the child's local time is 1: half way to white
    EXPECT_TRUE(PixelNear(Current(), 400, 300, {128, 128, 128, 255}, 1));

    // Outside the group's window nothing of its stale picture is composited over the parent.
    Run(4.0);
    EXPECT_TRUE(PixelNear(Current(), 400, 300, {255, 0, 0, 255}));
}

TEST_F(RenderTargetTest, FlippingChildFlipsOnlyTheGroupsPair) {
    ASSERT_TRUE(
        Load(std::string(kParentRed) +
             "<effect type='RenderTarget'>"
             "<effect type='CLS'><param key='colour' type='vec4' x='0.2' y='0.4' z='0.6' w='1'/></effect>" +
             PostProcess("PS_Invert") + "</effect>"));
    Run(0.0);
    EXPECT_EQ(pair->current, 0);
    EXPECT_EQ(Group(1).GetChildrenPair().current, 1);
    EXPECT_TRUE(PixelNear(Current(), 400, 300, {204, 153, 102, 255}));
    Run(0.0);
    EXPECT_EQ(pair->current, 0);
    EXPECT_EQ(Group(1).GetChildrenPair().current, 0);
}

TEST_F(RenderTargetTest, BrokenCompositingShaderClearsTheBackBufferToWheat) {
    Data().Write("final.fx", "this does not compile");
    LogCapture log;
    ASSERT_TRUE(Load(std::string(kParentRed) +
                     "<effect type='RenderTarget'><effect type='CLS'>"
                     "<param key='colour' type='vec4' x='0' y='1' z='0' w='1'/></effect></effect>"));
    Context().ClearRenderTargetView(g_graphics.backBufferView, std::array<float, 4>{0, 0, 0, 1}.data());
    Run(0.0);
    EXPECT_TRUE(PixelNear(ReadBackBuffer(), 400, 300, {245, 222, 179, 255}, 1));
    // The parent keeps its picture; the children still drew into their own pair.
    EXPECT_TRUE(PixelNear(Current(), 400, 300, {255, 0, 0, 255}));
    const auto& own = Group(1).GetChildrenPair();
    EXPECT_TRUE(PixelNear(Read(own.textures[own.current]->texture), 400, 300, {0, 255, 0, 255}));
}

TEST_F(RenderTargetTest, CompilesItsShaderWhenConstructed) {
    std::filesystem::remove(Data().Path() / "final.fx");
    LogCapture log;
    const Effects::RenderTarget group;
    const auto& lines = log.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        TestSupport::LogLine{"Shader::LoadVS",
                                             "File 'final.fx' for vertex shader 'VS' couldn't be opened"}),
              lines.end());
    EXPECT_EQ(group.GetChildrenPair().current, 0);
}

}  // namespace
