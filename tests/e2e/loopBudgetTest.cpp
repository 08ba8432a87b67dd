// A show whose full-screen shader loops two billion times per pixel, run by the built program: a
// single frame ends with a picture and says which shader was cut, a capture ends and takes up the
// fixed shader once it is edited, and a window still answers Escape.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/showFolder.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using TestSupport::Process;
using TestSupport::ShowFolder;
using TestSupport::VirtualDisplay;

constexpr char kInterface[] =
    "struct VertexIn { float3 position : POSITION; float2 texcoord : TEXCOORD0; float3 normal : NORMAL; };\n"
    "struct PixelIn { float4 position : SV_Position; float2 texcoord : TEXCOORD0; };\n"
    "cbuffer Block : register(b0) { float time; float f1; float f2; float f3; float f4; float f5; float f6;\n"
    "    float padding; };\n"
    "PixelIn VS(VertexIn input) { PixelIn o; o.position = float4(input.position.xy * 2.0, 0.0, 1.0);\n"
    "    o.texcoord = input.texcoord; return o; }\n";

// A bound typed with three zeros too many.
const std::string kRunaway =
    std::string(kInterface) +
    "float4 PS(PixelIn input) : SV_Target {\n"
    "    float c = input.texcoord.x;\n"
    "    [loop] for (int i = 0; i < 2000000000; ++i) c = frac(c * 1.0001 + sin(c + time));\n"
    "    return float4(c, input.texcoord.y, 0.5, 1.0); }\n";
const std::string kFixed = std::string(kInterface) +
                           "float4 PS(PixelIn input) : SV_Target { return float4(0.25, 0.5, 0.75, 1.0); }\n";

constexpr char kMessage[] = "'PS' in 'runaway.fx' reached its loop budget; its loops were cut";

class ShaderLoopBudget : public testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(VANTRISK_BINARY)) GTEST_SKIP() << "The program is not built in this build folder";
        m_show.WriteData("demo.xml", ShowFolder::Script("bpm=\"60\"", R"(
  <effect type="FullScreenShader" start="0" length="1000">
    <param key="shader" type="string" value="runaway.fx"/>
    <param key="pixelShader" type="string" value="PS"/>
  </effect>
)"));
        m_show.WriteData("final.fx", ShowFolder::FinalShader());
        m_show.WriteData("runaway.fx", kRunaway);
    }

    int Run(const std::vector<std::string>& arguments, std::string* output) {
        std::vector<std::string> command{VANTRISK_BINARY};
        command.insert(command.end(), arguments.begin(), arguments.end());
        return TestSupport::RunCommand(command, output, m_show.Path(), {"SDL_AUDIODRIVER=dummy"}, 600s);
    }
    long Messages() const {
        const auto texts = TestSupport::LogTexts(m_show.Log());
        return std::count(texts.begin(), texts.end(), kMessage);
    }

    ShowFolder m_show;
};

TEST_F(ShaderLoopBudget, OneFrameEndsWithAPictureAndNamesTheShaderOnce) {
    std::string output;
    ASSERT_EQ(Run({"--frame", "1", "frame.png"}, &output), 0) << output;
    const TestSupport::Image frame = TestSupport::ReadPicture(m_show.Path() / "frame.png");
    ASSERT_EQ(frame.width, 800u);
    // Blue is the shader's own, whatever its loop left in red.
    EXPECT_NEAR(frame.At(400, 300)[2], 128, 2);
    EXPECT_EQ(Messages(), 1) << m_show.Log();
}

TEST_F(ShaderLoopBudget, CaptureEndsAndShowsTheFixedShaderAfterItIsEdited) {
    Process capture(
        {VANTRISK_BINARY, "--capture", "shots/f%03d.png", "--fps", "2", "--from", "0", "--to", "3"},
        m_show.Path(), {"SDL_AUDIODRIVER=dummy"});
    // Six frames; the first written means the runaway shader has drawn, and the last is far behind.
    ASSERT_TRUE(TestSupport::WaitUntil([&] { return fs::exists(m_show.Path() / "shots/f000.png"); }, 600s))
        << capture.Output();
    m_show.WriteData("runaway.fx", kFixed);
    const auto code = capture.Wait(600s);
    ASSERT_TRUE(code.has_value());
    ASSERT_EQ(*code, 0) << capture.Output();
    EXPECT_EQ(Messages(), 1) << m_show.Log();

    const TestSupport::Image last = TestSupport::ReadPicture(m_show.Path() / "shots/f005.png");
    ASSERT_EQ(last.width, 800u);
    std::string output;
    ASSERT_EQ(Run({"--frame", "2.5", "fixed.png"}, &output), 0) << output;
    const TestSupport::Image fixed = TestSupport::ReadPicture(m_show.Path() / "fixed.png");
    EXPECT_TRUE(last.rgba == fixed.rgba) << "the last frame is not the fixed shader's picture";
}

TEST_F(ShaderLoopBudget, AWindowStillAnswersEscape) {
    VirtualDisplay display;
    ASSERT_TRUE(display.Ready());
    Process program({VANTRISK_BINARY, "--windowed"}, m_show.Path(),
                    {display.Environment(), "SDL_AUDIODRIVER=dummy"});
    const std::string id = display.WaitForWindow("Vantrisk - Quillmar", 600s);
    ASSERT_FALSE(id.empty()) << program.Output();
    ASSERT_TRUE(TestSupport::WaitUntil(
        [&] {
            const auto texts = TestSupport::LogTexts(m_show.Log());
            return std::find(texts.begin(), texts.end(), "Starting main loop") != texts.end();
        },
        600s))
        << m_show.Log();
    display.XDoTool({"windowfocus", "--sync", id});
    display.XDoTool({"key", "--window", id, "Escape"});
    const auto code = program.Wait(600s);
    ASSERT_TRUE(code.has_value()) << "still running after Escape";
    EXPECT_EQ(*code, 0) << program.Output();
    EXPECT_EQ(Messages(), 1) << m_show.Log();
}

}  // namespace
