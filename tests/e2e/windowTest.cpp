// The built program in a real window on a virtual display, driven with xdotool as a person would.
#include <gtest/gtest.h>

#include <algorithm>

#include "e2e/showFolder.h"
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

    ShowFolder m_show;
};

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
    const std::string id = display.WaitForWindow(kTitle, 10s);
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
    const std::string id = display.WaitForWindow(kTitle, 10s);
    display.XDoTool({"key", "--window", id, "Escape"});
    const auto code = program->Wait(60s);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0);
}

}  // namespace
