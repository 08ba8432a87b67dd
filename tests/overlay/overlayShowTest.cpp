// The overlay's reading of a running show, headless: the problem list of a show with a broken shader
// through its fix, and the seek the timeline makes.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>

#include "e2e/showFolder.h"
#include "effects/effectsManager.h"
#include "overlay/problemList.h"
#include "support/showFixture.h"
#include "system/audio.h"
#include "system/fileWatcher.h"
#include "system/flags.h"

namespace {

using Effects::EffectsManager;
using TestSupport::ShowFolder;

constexpr char kVertexShader[] =
    R"(struct VertexIn { float3 position : POSITION; float2 texcoord : TEXCOORD0; float3 normal : NORMAL; };
struct PixelIn { float4 position : SV_Position; float2 texcoord : TEXCOORD0; };
PixelIn VS(VertexIn input) { PixelIn o; o.position = float4(input.position.xy * 2.0, 0.0, 1.0);
    o.texcoord = input.texcoord; return o; }
)";
// Line 6 of the file does not compile.
constexpr char kBrokenPixelShader[] =
    "float4 PS(PixelIn input) : SV_Target {\n    return undefinedThing;\n}\n";
constexpr char kGoodPixelShader[] =
    "float4 PS(PixelIn input) : SV_Target { return float4(input.texcoord, 0.5, 1.0); }\n";

class OverlayShow : public TestSupport::ShowTest {
protected:
    void SetUp() override {
        ShowTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        Audio_UseSilentOutput(true);
        g_quit = false;
        Data().Write("final.fx", ShowFolder::FinalShader());
        Data().Write("tune.wav", ShowFolder::Wave(20.0, 8000));
        HasFileChanged("tune.wav");
    }
    void TearDown() override {
        manager.reset();
        Audio_UseSilentOutput(false);
        g_quit = false;
        ShowTest::TearDown();
    }
    // Rewrites a data file so that its watcher sees the change within the file system's granularity.
    void Rewrite(const std::string& name, const std::string& contents) {
        const auto path = Data().Path() / name;
        const auto before = std::filesystem::last_write_time(path);
        Data().Write(name, contents);
        std::filesystem::last_write_time(path, before + std::chrono::seconds(2));
    }
    std::unique_ptr<EffectsManager> manager;
};

TEST_F(OverlayShow, BrokenShaderIsListedWithItsLineUntilFixed) {
    Data().Write("broken.fx", std::string(kVertexShader) + kBrokenPixelShader);
    Data().Write("demo.xml",
                 ShowFolder::Script("audioFilename='tune.wav'",
                                    "<effect type='FullScreenShader'>"
                                    "<param key='shader' type='string' value='broken.fx'/>"
                                    "<param key='pixelShader' type='string' value='PS'/></effect>"));
    Overlay::ProblemList problems("demo.xml");
    // What earlier tests logged is no problem of this show.
    problems.Update();
    problems.Clear();
    manager = std::make_unique<EffectsManager>(false, "demo.xml");
    manager->RunFrame(0.0);
    problems.Update();
    ASSERT_FALSE(problems.Problems().empty());
    const auto listed = [&] {
        for (const Overlay::Problem& problem : problems.Problems()) {
            if (problem.text.find("broken.fx:6") != std::string::npos &&
                problem.text.find("undefinedThing") != std::string::npos)
                return true;
        }
        return false;
    };
    EXPECT_TRUE(listed()) << problems.Problems().front().text;

    Rewrite("broken.fx", std::string(kVertexShader) + kGoodPixelShader);
    manager->RunFrame(0.1);
    manager->RunFrame(0.2);
    problems.Update();
    for (const Overlay::Problem& problem : problems.Problems())
        EXPECT_EQ(problem.text.find("broken.fx"), std::string::npos) << problem.text;
}

TEST_F(OverlayShow, SeekToShowTimeFollowsTempoAndOffsetAndStaysInTheMusic) {
    Data().Write("demo.xml", ShowFolder::Script("audioFilename='tune.wav' bpm='120' timeOffset='4'"));
    manager = std::make_unique<EffectsManager>(true, "demo.xml");
    manager->TogglePause();
    ASSERT_TRUE(manager->IsPaused());
    const auto position = [] {
        uint32_t milliseconds = 0;
        Audio_GetChannel().GetPosition(milliseconds);
        return milliseconds;
    };
    struct Case {
        double showTime;
        uint32_t milliseconds;
    };
    // Show time 8 at 120 bpm with offset 4 is two seconds in; outside the music, its ends.
    for (const Case c :
         {Case{8.0, 2000}, Case{4.0, 0}, Case{-10.0, 0}, Case{43.0, 19500}, Case{1e9, 19999}}) {
        manager->SeekToShowTime(c.showTime);
        EXPECT_EQ(position(), c.milliseconds) << c.showTime;
    }
    EXPECT_TRUE(manager->IsPaused());
    EXPECT_FALSE(g_quit);
}

}  // namespace
