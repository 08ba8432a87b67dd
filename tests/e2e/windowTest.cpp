// The built program in a real window on a virtual display, driven with xdotool as a person would.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <thread>

#include "e2e/showFolder.h"
#include "support/gpuFixture.h"
#include "support/process.h"

namespace {

using namespace std::chrono_literals;
using TestSupport::Process;
using TestSupport::ShowFolder;
using TestSupport::VirtualDisplay;

constexpr char kTitle[] = "Vantrisk - Quillmar";

class ProgramWindow : public testing::Test {
protected:
    void Prepare(const std::string& attributes = "") {
        m_show.WriteData("demo.xml", ShowFolder::Script(attributes));
        m_show.WriteData("final.fx", ShowFolder::FinalShader());
    }
    std::unique_ptr<Process> Start(const VirtualDisplay& display, const std::vector<std::string>& arguments) {
        std::vector<std::string> command{VANTRISK_BINARY};
        command.insert(command.end(), arguments.begin(), arguments.end());
        return std::make_unique<Process>(
            command, m_show.Path(), std::vector<std::string>{display.Environment(), "SDL_AUDIODRIVER=dummy"});
    }
    std::vector<std::string> Texts() const { return TestSupport::LogTexts(m_show.Log()); }
    bool Logged(const std::string& text) const {
        const auto texts = Texts();
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }
    bool WaitForLog(const std::string& text) {
        return TestSupport::WaitUntil([&] { return Logged(text); }, 60s);
    }
    // Saves the next screenshot with F11 and reads it back (empty when none came).
    TestSupport::Image Screenshot(const VirtualDisplay& display, const std::string& id) {
        char name[64];
        std::snprintf(name, sizeof name, "Screenshots/screenshot%03d.png", ++m_screenshots);
        const auto path = m_show.Path() / name;
        display.XDoTool({"key", "--window", id, "F11"});
        TestSupport::Image image;
        TestSupport::WaitUntil(
            [&] {
                // The file may be seen while it is being written; only a whole picture counts.
                image = TestSupport::ReadPicture(path);
                return !image.rgba.empty();
            },
            60s);
        return image;
    }

    ShowFolder m_show;
    int m_screenshots = 0;
};

// A show whose picture is its clock: whole seconds of music in red, 256ths of a second in green
// (bpm 60, so that beats are seconds), over a minute of music; from 40 s on, a still pattern.
constexpr char kClockShader[] =
    "struct VertexIn { float3 position : POSITION; float2 texcoord : TEXCOORD0; float3 normal : NORMAL; };\n"
    "struct PixelIn { float4 position : SV_Position; float2 texcoord : TEXCOORD0; };\n"
    "cbuffer Block : register(b0) { float time; float f1; float f2; float f3; float f4; float f5; float f6;\n"
    "    float padding; };\n"
    "PixelIn VS(VertexIn input) { PixelIn o; o.position = float4(input.position.xy * 2.0, 0.0, 1.0);\n"
    "    o.texcoord = input.texcoord; return o; }\n"
    "float4 PS_Clock(PixelIn input) : SV_Target {\n"
    "    float t = max(time, 0.0);\n"
    "    return float4(floor(t) / 255.0, floor(frac(t) * 256.0) / 255.0, 0.0, 1.0); }\n"
    "float4 PS_Pattern(PixelIn input) : SV_Target {\n"
    "    float2 cell = floor(input.texcoord * float2(8.0, 6.0));\n"
    "    float check = fmod(cell.x + cell.y, 2.0);\n"
    "    return float4(input.texcoord.x, input.texcoord.y, 0.25 + 0.5 * check, 1.0); }\n";

std::string ClockEffect(const char* entry, const char* window) {
    return std::string("<effect type=\"FullScreenShader\" ") + window +
           "><param key=\"shader\" type=\"string\" value=\"clock.fx\"/>"
           "<param key=\"pixelShader\" type=\"string\" value=\"" +
           entry + "\"/></effect>\n";
}

class ClockShow : public ProgramWindow {
protected:
    void SetUp() override {
        m_show.WriteData("demo.xml",
                         ShowFolder::Script("audioFilename=\"clock.wav\" bpm=\"60\"",
                                            ClockEffect("PS_Clock", "start=\"0\" length=\"40\"") +
                                                ClockEffect("PS_Pattern", "start=\"40\" length=\"20\"")));
        m_show.WriteData("final.fx", ShowFolder::FinalShader());
        m_show.WriteData("clock.fx", kClockShader);
        m_show.WriteData("clock.wav", ShowFolder::Wave(60.0, 8000));
    }
    // Runs the show in a window until its main loop runs, with the window focused.
    std::string Open(const VirtualDisplay& display, std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "--windowed");
        m_program = Start(display, arguments);
        const std::string id = display.WaitForWindow(kTitle, 60s);
        if (id.empty() || !WaitForLog("Starting main loop")) return "";
        display.XDoTool({"windowfocus", "--sync", id});
        return id;
    }
    // The music time a screenshot shows, in seconds (-1 when it is not the clock).
    double Clock(const VirtualDisplay& display, const std::string& id) {
        const TestSupport::Image shot = Screenshot(display, id);
        if (shot.rgba.empty()) return -1.0;
        const auto pixel = shot.At(shot.width / 2, shot.height / 2);
        if (pixel[2] != 0) return -1.0;
        return pixel[0] + pixel[1] / 256.0;
    }
    // The clock once it stands still (the show is paused and the last tap has been acted on).
    double StillClock(const VirtualDisplay& display, const std::string& id) {
        double last = Clock(display, id);
        for (int i = 0; i < 20; ++i) {
            const double now = Clock(display, id);
            if (now == last) return now;
            last = now;
        }
        return -2.0;
    }
    void Tap(const VirtualDisplay& display, const std::string& id, const char* key) {
        display.XDoTool({"key", "--window", id, key});
    }
    void Quit(const VirtualDisplay& display, const std::string& id) {
        Tap(display, id, "Escape");
        const auto code = m_program->Wait(60s);
        ASSERT_TRUE(code.has_value()) << "still running after Escape";
        EXPECT_EQ(*code, 0) << m_program->Output();
    }

    std::unique_ptr<Process> m_program;
};

// Each tap of a transport key acts exactly once, whatever word of the command line asked for
// transport mode.
class Transport : public ClockShow, public testing::WithParamInterface<const char*> {};

TEST_P(Transport, TapsPauseSeekAndRestartOncePerTap) {
    VirtualDisplay display;
    ASSERT_TRUE(display.Ready());
    const std::string id = Open(display, {GetParam(), "--start", "10"});
    ASSERT_FALSE(id.empty()) << m_program->Output();

    Tap(display, id, "space");
    const double paused = StillClock(display, id);
    ASSERT_GE(paused, 10.0) << "the show did not pause, or did not start at 10 s";
    ASSERT_LT(paused, 30.0);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(Clock(display, id), paused) << "the paused clock moved";

    Tap(display, id, "Right");
    EXPECT_NEAR(StillClock(display, id), paused + 1.0, 0.01);
    Tap(display, id, "Left");
    std::this_thread::sleep_for(300ms);
    Tap(display, id, "Left");
    EXPECT_NEAR(StillClock(display, id), paused - 1.0, 0.01);
    Tap(display, id, "shift+Right");
    EXPECT_NEAR(StillClock(display, id), paused + 3.0, 0.01);
    Tap(display, id, "ctrl+Left");
    EXPECT_NEAR(StillClock(display, id), paused + 2.75, 0.01);
    Tap(display, id, "Up");
    EXPECT_EQ(StillClock(display, id), 0.0);

    Tap(display, id, "space");
    // A paused show stays at 0 s; a resumed one passes half a second, however slowly it draws.
    EXPECT_TRUE(TestSupport::WaitUntil([&] { return Clock(display, id) > 0.5; }, 120s))
        << "the show did not resume";
    Quit(display, id);
}

INSTANTIATE_TEST_SUITE_P(Words, Transport, testing::Values("--transport", "-transportX"),
                         [](const auto& info) {
                             return std::string(info.param[1] == '-' ? "Long" : "Suffixed");
                         });

// The first frame is the one of the start time: the picture after it is the headless frame there.
TEST_F(ClockShow, StartShowsTheFrameOfTheStartTime) {
    VirtualDisplay display;
    ASSERT_TRUE(display.Ready());
    const auto still = m_show.Path() / "still.png";
    std::string output;
    ASSERT_EQ(TestSupport::RunCommand({VANTRISK_BINARY, "--frame", "40", still.string()}, &output,
                                      m_show.Path(), {"SDL_AUDIODRIVER=dummy"}, 600s),
              0)
        << output;
    const std::string id = Open(display, {"--start", "40"});
    ASSERT_FALSE(id.empty()) << m_program->Output();
    ASSERT_TRUE(WaitForLog("Starting at 40.000 s of the music")) << m_show.Log();
    // A screenshot taken before the first frame is presented finds the back buffer still black; a
    // busy machine may take long to present it.
    TestSupport::Image shown;
    TestSupport::WaitUntil(
        [&] {
            shown = Screenshot(display, id);
            return !shown.rgba.empty() && shown.At(0, 0)[2] != 0;
        },
        120s);
    ASSERT_EQ(shown.width, 800u);
    EXPECT_TRUE(TestSupport::ImagesNear(shown, TestSupport::ReadPicture(still), 4, 0.002, "window-start-40"));
    Quit(display, id);
}

TEST_F(ProgramWindow, LogsSizeBeforeDeviceAndEndsOnEscape) {
    VirtualDisplay display;
    ASSERT_TRUE(display.Ready());
    Prepare();
    auto program = Start(display, {"--windowed"});
    const std::string id = display.WaitForWindow(kTitle, 60s);
    ASSERT_FALSE(id.empty()) << program->Output();
    ASSERT_TRUE(WaitForLog("Starting main loop")) << m_show.Log();
    display.XDoTool({"key", "--window", id, "Escape"});
    const auto code = program->Wait(60s);
    ASSERT_TRUE(code.has_value()) << "still running after Escape";
    EXPECT_EQ(*code, 0) << program->Output();

    const auto texts = Texts();
    const auto size = std::find(texts.begin(), texts.end(), "Received WM_SIZE of 800x600, aspect 1.33");
    ASSERT_NE(size, texts.end()) << m_show.Log();
    ASSERT_NE(size + 1, texts.end());
    EXPECT_EQ(*(size + 1), "..but had no swapchain!");
    const auto card = std::find_if(size, texts.end(),
                                   [](const std::string& t) { return t.rfind("Video card is '", 0) == 0; });
    EXPECT_NE(card, texts.end());
    EXPECT_TRUE(Logged("Initialised graphics"));
    EXPECT_TRUE(Logged("Starting windowed"));
    EXPECT_TRUE(Logged("Exited main loop"));

    // Everything the log file holds went to standard error as well, in the same order.
    const std::string output = program->Output();
    size_t at = 0;
    for (const auto& line : TestSupport::SplitLines(m_show.Log())) {
        at = output.find(line, at);
        ASSERT_NE(at, std::string::npos) << "not on standard error: " << line;
    }
}

TEST_F(ProgramWindow, ClosingTheWindowEndsTheRun) {
    VirtualDisplay display(1280, 1024, true);
    ASSERT_TRUE(display.Ready());
    Prepare();
    auto program = Start(display, {"--windowed"});
    const std::string id = display.WaitForWindow(kTitle, 60s);
    ASSERT_FALSE(id.empty()) << program->Output();
    ASSERT_TRUE(WaitForLog("Starting main loop"));
    TestSupport::RunCommand({"wmctrl", "-i", "-c", id}, nullptr, ".", {display.Environment()});
    const auto code = program->Wait(60s);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0);
    EXPECT_TRUE(Logged("Exited main loop"));
}

TEST_F(ProgramWindow, EndOfTheMusicEndsTheRun) {
    VirtualDisplay display;
    ASSERT_TRUE(display.Ready());
    Prepare("audioFilename=\"short.wav\"");
    m_show.WriteData("short.wav", ShowFolder::Wave(1.0));
    auto program = Start(display, {"--windowed"});
    const auto code = program->Wait(90s);
    ASSERT_TRUE(code.has_value()) << "the show did not end with its music";
    EXPECT_EQ(*code, 0) << program->Output();
    EXPECT_TRUE(Logged("Exited main loop"));
}

// Our own options still work beside the "-transport" rule; anything else that looks like an option
// is refused before a window opens.
TEST(ProgramCommandLine, RefusesUnknownOptionsAndMisusedOnes) {
    const std::vector<std::vector<std::string>> refused = {{"--bogus"},
                                                           {"--start"},
                                                           {"--start", "-1"},
                                                           {"--start", "nan"},
                                                           {"--start", "5", "--check"},
                                                           {"--check", "--frame", "1", "x.png"}};
    for (const auto& arguments : refused) {
        std::vector<std::string> command{VANTRISK_BINARY};
        command.insert(command.end(), arguments.begin(), arguments.end());
        std::string output;
        EXPECT_EQ(TestSupport::RunCommand(command, &output, ".", {"DISPLAY="}, 30s), 2) << arguments[0];
        EXPECT_NE(output.find("Usage: vantrisk"), std::string::npos) << output;
    }
}

// The full-screen question: its window carries the same title, Return answers Yes (the default) and
// Escape Cancel; No is the middle of three buttons whichever way they are ordered.
class Question : public ProgramWindow {
protected:
    void Answer(const VirtualDisplay& display, const std::string& how) {
        const std::string box = display.WaitForWindow(kTitle, 60s);
        ASSERT_FALSE(box.empty());
        display.XDoTool({"windowfocus", "--sync", box});
        if (how == "No") {
            int x = 0, y = 0, w = 0, h = 0;
            ASSERT_TRUE(display.GetGeometry(box, x, y, w, h));
            display.XDoTool({"mousemove", "--sync", std::to_string(x + w / 2), std::to_string(y + h - 40)});
            display.XDoTool({"click", "1"});
        } else {
            display.XDoTool({"key", how});
        }
    }
};

TEST_F(Question, CancelEndsWithoutRunning) {
    VirtualDisplay display;
    ASSERT_TRUE(display.Ready());
    Prepare();
    auto program = Start(display, {});
    Answer(display, "Escape");
    const auto code = program->Wait(60s);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0);
    EXPECT_TRUE(Logged("User chose not to run.."));
    EXPECT_FALSE(Logged("Initialised graphics"));
}

TEST_F(Question, NoRunsInAnEightHundredBySixHundredWindow) {
    VirtualDisplay display;
    ASSERT_TRUE(display.Ready());
    Prepare();
    auto program = Start(display, {"-transportX"});
    Answer(display, "No");
    ASSERT_TRUE(WaitForLog("Starting main loop")) << program->Output();
    EXPECT_TRUE(Logged("Starting windowed"));
    const std::string id = display.WaitForWindow(kTitle, 60s);
    int x = 0, y = 0, w = 0, h = 0;
    ASSERT_TRUE(display.GetGeometry(id, x, y, w, h));
    EXPECT_EQ(w, 800);
    EXPECT_EQ(h, 600);
    display.XDoTool({"key", "--window", id, "Escape"});
    const auto code = program->Wait(60s);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0);
}

TEST_F(Question, YesRunsFullScreenWithTheBackBufferResized) {
    VirtualDisplay display(1280, 1024, true);
    ASSERT_TRUE(display.Ready());
    Prepare();
    auto program = Start(display, {});
    Answer(display, "Return");
    ASSERT_TRUE(WaitForLog("Starting main loop")) << program->Output();
    EXPECT_TRUE(Logged("Starting fullscreen"));
    EXPECT_TRUE(WaitForLog("Received WM_SIZE of 1280x1024, aspect 1.25")) << m_show.Log();
    const std::string id = display.WaitForWindow(kTitle, 60s);
    // The back buffer itself takes the screen's size: a screenshot reads it back.
    TestSupport::Image shot;
    TestSupport::WaitUntil(
        [&] {
            shot = Screenshot(display, id);
            return shot.width == 1280u;
        },
        60s);
    EXPECT_EQ(shot.width, 1280u);
    EXPECT_EQ(shot.height, 1024u);
    display.XDoTool({"key", "--window", id, "Escape"});
    const auto code = program->Wait(60s);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0);
    // Full-screen is left before the window goes: the window is back at its own size.
    const auto texts = Texts();
    const auto exited = std::find(texts.begin(), texts.end(), "Exited main loop");
    EXPECT_NE(std::find(exited, texts.end(), "Received WM_SIZE of 800x600, aspect 1.33"), texts.end())
        << m_show.Log();
}

}  // namespace
