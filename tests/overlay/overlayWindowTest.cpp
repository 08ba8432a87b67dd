// The author's overlay in the built program's window on a virtual display, driven with xdotool: F1
// shows and hides it, screenshots never contain it, its problem list follows a broken shader, and a
// click on its timeline seeks the show.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "e2e/showFolder.h"
#include "support/gpuFixture.h"
#include "support/process.h"

namespace {

using namespace std::chrono_literals;
using TestSupport::Image;
using TestSupport::Process;
using TestSupport::ShowFolder;
using TestSupport::VirtualDisplay;

constexpr char kTitle[] = "Vantrisk - Quillmar";

// Whole seconds of music in red and 256ths in green until 40 s (bpm 60: beats are seconds), then a
// pattern that does not move.
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

// A full-screen shader effect with no picture, so that the show has no problem but those made here.
std::string Effect(const char* shader, const char* entry, const char* window) {
    return std::string("<effect type=\"FullScreenShader\" ") + window +
           "><param key=\"shader\" type=\"string\" value=\"" + shader +
           "\"/><param key=\"pixelShader\" type=\"string\" value=\"" + entry +
           "\"/><param key=\"image\" type=\"string\" value=\"\"/></effect>\n";
}

// The overlay's panel stands in the window's top-left corner, its timeline along the bottom.
constexpr uint32_t kPanelRight = 300, kPanelBottom = 90;

class OverlayWindow : public testing::Test {
protected:
    void SetUp() override {
        m_show.WriteData("final.fx", ShowFolder::FinalShader());
        m_show.WriteData("clock.fx", kClockShader);
        m_show.WriteData("clock.wav", ShowFolder::Wave(60.0, 8000));
    }
    void Script(const std::string& body) {
        m_show.WriteData("demo.xml", ShowFolder::Script("audioFilename=\"clock.wav\" bpm=\"60\"", body));
    }
    // Starts the show in a window, waits for its main loop and focuses the window.
    void Open(std::vector<std::string> arguments) {
        ASSERT_TRUE(m_display.Ready());
        arguments.insert(arguments.begin(), {VANTRISK_BINARY, "--windowed", "--transport"});
        m_program = std::make_unique<Process>(
            arguments, m_show.Path(),
            std::vector<std::string>{m_display.Environment(), "SDL_AUDIODRIVER=dummy"});
        m_id = m_display.WaitForWindow(kTitle, 60s);
        ASSERT_FALSE(m_id.empty()) << m_program->Output();
        ASSERT_TRUE(WaitForLog("Starting main loop")) << m_show.Log();
        m_display.XDoTool({"windowfocus", "--sync", m_id});
    }
    void Tap(const char* key) { m_display.XDoTool({"key", "--window", m_id, key}); }
    void Quit() {
        Tap("Escape");
        const auto code = m_program->Wait(60s);
        ASSERT_TRUE(code.has_value()) << "still running after Escape";
        EXPECT_EQ(*code, 0) << m_program->Output();
    }
    bool WaitForLog(const std::string& text) {
        return TestSupport::WaitUntil(
            [&] {
                const auto texts = TestSupport::LogTexts(m_show.Log());
                return std::find(texts.begin(), texts.end(), text) != texts.end();
            },
            60s);
    }
    // What the window shows now, as the X server has it.
    Image Window() {
        const auto path = m_show.Path() / ("window" + std::to_string(++m_grabs) + ".png");
        TestSupport::RunCommand({"import", "-window", m_id, path.string()}, nullptr, m_show.Path(),
                                {m_display.Environment()});
        return TestSupport::ReadPicture(path);
    }
    // Waits until the window's picture passes `test`; that picture (empty on time-out).
    template <typename Test>
    Image WaitForWindow(Test test) {
        Image image;
        const bool seen = TestSupport::WaitUntil(
            [&] {
                image = Window();
                return !image.rgba.empty() && test(image);
            },
            120s);
        return seen ? image : Image{};
    }
    // Saves the next screenshot with F11 and reads it back.
    Image Screenshot() {
        char name[64];
        std::snprintf(name, sizeof name, "Screenshots/screenshot%03d.png", ++m_screenshots);
        Tap("F11");
        Image image;
        TestSupport::WaitUntil(
            [&] {
                image = TestSupport::ReadPicture(m_show.Path() / name);
                return !image.rgba.empty();
            },
            60s);
        return image;
    }

    ShowFolder m_show;
    VirtualDisplay m_display;
    std::unique_ptr<Process> m_program;
    std::string m_id;
    int m_grabs = 0;
    int m_screenshots = 0;
};

// How many pixels of the panel's corner differ between two pictures of the window by more than 8.
int DifferingInPanel(const Image& a, const Image& b) {
    int differing = 0;
    for (uint32_t y = 10; y < kPanelBottom; ++y) {
        for (uint32_t x = 10; x < kPanelRight; ++x) {
            const auto p = a.At(x, y), q = b.At(x, y);
            for (int c = 0; c < 3; ++c) {
                if (std::abs(p[c] - q[c]) > 8) {
                    ++differing;
                    break;
                }
            }
        }
    }
    return differing;
}

TEST_F(OverlayWindow, FirstShowsThenHidesAndNeverReachesAScreenshot) {
    Script(Effect("clock.fx", "PS_Pattern", "start=\"0\" length=\"60\""));
    ASSERT_NO_FATAL_FAILURE(Open({"--start", "20"}));
    Tap("space");
    // The show on screen: the pattern's blue everywhere.
    const Image show = WaitForWindow([](const Image& image) { return image.At(400, 300)[2] > 40; });
    ASSERT_FALSE(show.rgba.empty()) << m_show.Log();
    const Image shotOff = Screenshot();
    ASSERT_FALSE(shotOff.rgba.empty());

    Tap("F1");
    const Image withOverlay =
        WaitForWindow([&](const Image& image) { return DifferingInPanel(image, show) > 1000; });
    ASSERT_FALSE(withOverlay.rgba.empty()) << "the overlay did not appear\n" << m_show.Log();
    const Image shotOn = Screenshot();
    EXPECT_TRUE(TestSupport::ImagesNear(shotOn, shotOff, 0, 0.0, "overlay-screenshot"));

    Tap("F1");
    const Image hidden =
        WaitForWindow([&](const Image& image) { return DifferingInPanel(image, show) == 0; });
    ASSERT_FALSE(hidden.rgba.empty()) << "the overlay did not go";
    EXPECT_TRUE(TestSupport::ImagesNear(hidden, show, 2, 0.0, "overlay-hidden"));
    ASSERT_NO_FATAL_FAILURE(Quit());
}

// Pixels of the problem list's colour in the panel.
int ProblemPixels(const Image& image) {
    int count = 0;
    for (uint32_t y = 8; y < 300; ++y) {
        for (uint32_t x = 8; x < 428; ++x) {
            const auto p = image.At(x, y);
            if (p[0] > 200 && p[1] > 90 && p[1] < 150 && p[2] < 80) ++count;
        }
    }
    return count;
}

TEST_F(OverlayWindow, ListsABrokenShaderUntilItIsFixed) {
    m_show.WriteData("broken.fx", std::string(kClockShader) +
                                      "float4 PS(PixelIn input) : SV_Target { return undefinedThing; }\n");
    Script(Effect("clock.fx", "PS_Pattern", "") + Effect("broken.fx", "PS", ""));
    ASSERT_NO_FATAL_FAILURE(Open({"--overlay"}));
    const Image listed = WaitForWindow([](const Image& image) { return ProblemPixels(image) > 50; });
    ASSERT_FALSE(listed.rgba.empty()) << "no problem listed\n" << m_show.Log();

    m_show.WriteData("broken.fx",
                     std::string(kClockShader) +
                         "float4 PS(PixelIn input) : SV_Target { return float4(0.2, 0.2, 0.2, 1.0); }\n");
    const auto path = m_show.Path() / "data" / "broken.fx";
    std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + 2s);
    const Image fixed = WaitForWindow([](const Image& image) { return ProblemPixels(image) == 0; });
    EXPECT_FALSE(fixed.rgba.empty()) << "the problem stayed listed\n" << m_show.Log();
    ASSERT_NO_FATAL_FAILURE(Quit());
}

TEST_F(OverlayWindow, ClickOnTheTimelineSeeksThere) {
    Script(Effect("clock.fx", "PS_Clock", "start=\"0\" length=\"40\"") +
           Effect("clock.fx", "PS_Pattern", "start=\"40\" length=\"20\""));
    ASSERT_NO_FATAL_FAILURE(Open({"--overlay", "--start", "5"}));
    Tap("space");
    // The clock on screen, paused between 5 and 40 s.
    ASSERT_FALSE(WaitForWindow([](const Image& image) {
                     const auto pixel = image.At(400, 300);
                     return pixel[2] == 0 && pixel[0] >= 5;
                 }).rgba.empty())
        << m_show.Log();

    // A quarter of the way along an 800-pixel window's timeline of a minute: about 15 s.
    m_display.XDoTool({"mousemove", "--window", m_id, "377", "585"});
    m_display.XDoTool({"click", "1"});
    std::string seek;
    ASSERT_TRUE(TestSupport::WaitUntil(
        [&] {
            const auto texts = TestSupport::LogTexts(m_show.Log());
            for (const auto& text : texts) {
                if (text.rfind("Seeking to show time ", 0) == 0) seek = text;
            }
            return !seek.empty();
        },
        60s))
        << m_show.Log();
    const double target = std::stod(seek.substr(std::strlen("Seeking to show time ")));
    EXPECT_NEAR(target, 15.0, 1.5);
    // The show stands at that time: screenshots show its clock.
    double clock = -1.0;
    TestSupport::WaitUntil(
        [&] {
            const Image shot = Screenshot();
            if (shot.rgba.empty()) return false;
            const auto pixel = shot.At(400, 300);
            clock = pixel[0] + pixel[1] / 256.0;
            return std::fabs(clock - target) < 0.01;
        },
        120s);
    EXPECT_NEAR(clock, target, 0.01);
    ASSERT_NO_FATAL_FAILURE(Quit());
}

}  // namespace
