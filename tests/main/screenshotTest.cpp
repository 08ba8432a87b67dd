// Screenshots taken in the test process on the headless device (numbering, contents, failures), and
// with F11 in the built program's window on a virtual display.
#include "main/screenshot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "e2e/showFolder.h"
#include "main/device.h"
#include "support/logCapture.h"
#include "support/process.h"
#include "support/showFixture.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using TestSupport::Image;
using TestSupport::LogCapture;
using TestSupport::LogLine;

std::string ShotName(int number) {
    char name[64];
    std::snprintf(name, sizeof name, "screenshot%03d.png", number);
    return name;
}

// The file names in a folder, sorted.
std::vector<std::string> FilesIn(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// The data of each chunk of one type in a PNG file.
std::vector<std::string> PngChunks(const std::string& png, const std::string& type) {
    std::vector<std::string> chunks;
    for (size_t at = 8; at + 12 <= png.size();) {
        const uint32_t length = uint32_t(uint8_t(png[at])) << 24 | uint32_t(uint8_t(png[at + 1])) << 16 |
                                uint32_t(uint8_t(png[at + 2])) << 8 | uint32_t(uint8_t(png[at + 3]));
        if (png.compare(at + 4, 4, type) == 0) chunks.push_back(png.substr(at + 8, length));
        at += 12 + size_t(length);
    }
    return chunks;
}

// --- In the test process -----------------------------------------------------------------------------

class Screenshot : public TestSupport::ShowTest {
protected:
    void SetUp() override {
        ShowTest::SetUp();
        if (IsSkipped()) return;
        ResetScreenshotNumbering();
    }
    void TearDown() override {
        if (g_graphics.swapChain && g_graphics.swapChain->Width() != 800) ResizeBackBuffer(800, 600);
        ShowTest::TearDown();
    }

    fs::path Folder() { return Data().Path() / "Screenshots"; }
    void Leave(int number) { Data().Write("Screenshots/" + ShotName(number), "an earlier screenshot"); }

    // Puts `rgba` (width × height pixels) into the back buffer.
    void FillBackBuffer(const std::vector<uint8_t>& rgba, uint32_t width) {
        Context().UpdateSubresource(g_graphics.swapChain->GetBuffer(0), 0, nullptr, rgba.data(), width * 4,
                                    0);
    }
    void ResizeBackBuffer(uint32_t width, uint32_t height) {
        ASSERT_TRUE(g_graphics.swapChain->ResizeBuffers(0, width, height, Gpu::Format::UNKNOWN, 0));
    }
};

TEST_F(Screenshot, NumbersFromOneInAnEmptyFolder) {
    LogCapture log;
    SaveSceenshot();
    SaveSceenshot();
    EXPECT_EQ(FilesIn(Folder()), (std::vector<std::string>{ShotName(1), ShotName(2)}));
    // Success is silent.
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(Screenshot, NumbersOnAfterThoseOfAnEarlierRun) {
    for (int n : {1, 2, 3}) Leave(n);
    SaveSceenshot();
    EXPECT_TRUE(fs::exists(Folder() / ShotName(4)));
    EXPECT_EQ(FilesIn(Folder()).size(), 4u);
}

TEST_F(Screenshot, GapBelowTheFirstNumberIsFilledOnlyOnce) {
    Leave(2);
    SaveSceenshot();
    EXPECT_TRUE(fs::exists(Folder() / ShotName(1)));
    SaveSceenshot();
    EXPECT_TRUE(fs::exists(Folder() / ShotName(3)));
}

TEST_F(Screenshot, DeletedFileDoesNotGiveItsNumberBack) {
    SaveSceenshot();
    SaveSceenshot();
    fs::remove(Folder() / ShotName(1));
    SaveSceenshot();
    EXPECT_EQ(FilesIn(Folder()), (std::vector<std::string>{ShotName(2), ShotName(3)}));
}

TEST_F(Screenshot, PngIsTheBackBufferInTwentyFourBitsWithTextAndResolution) {
    ResizeBackBuffer(640, 360);
    std::vector<uint8_t> rgba(640 * 360 * 4);
    for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = i % 4 == 3 ? 7 : uint8_t(i * 7 / 4 + i / 2560);
    FillBackBuffer(rgba, 640);
    SaveSceenshot();

    const fs::path file = Folder() / ShotName(1);
    const TestSupport::PngInfo info = TestSupport::ReadPngInfo(file);
    EXPECT_EQ(info.width, 640);
    EXPECT_EQ(info.height, 360);
    EXPECT_EQ(info.bitsPerPixel, 24);

    const std::string png = TestSupport::ReadHostFile(file);
    EXPECT_EQ(PngChunks(png, "tEXt"), (std::vector<std::string>{std::string("Software\0DirectXTK", 18)}));
    // 2835 dots per metre both ways is 72 dots per inch.
    EXPECT_EQ(PngChunks(png, "pHYs"),
              (std::vector<std::string>{std::string("\0\0\x0b\x13\0\0\x0b\x13\x01", 9)}));

    // Colours exactly as in the back buffer, its alpha dropped.
    Image expected{640, 360, rgba};
    for (size_t i = 3; i < expected.rgba.size(); i += 4) expected.rgba[i] = 255;
    EXPECT_TRUE(
        TestSupport::ImagesNear(TestSupport::ReadPicture(file), expected, 0, 0.0, "screenshot-contents"));
}

TEST_F(Screenshot, FolderThatCannotBeMadeIsLogged) {
    Data().Write("Screenshots", "a file where the folder should be");
    LogCapture log;
    SaveSceenshot();
    EXPECT_EQ(log.Lines(),
              (std::vector<LogLine>{{"SaveSceenshot", "Failed to create screenshot directory"}}));
}

TEST_F(Screenshot, MissingBackBufferIsLogged) {
    const Gpu::SwapChainPtr swapChain = std::move(g_graphics.swapChain);
    LogCapture log;
    SaveSceenshot();
    g_graphics.swapChain = swapChain;
    EXPECT_EQ(log.Lines(),
              (std::vector<LogLine>{{"SaveSceenshot", "Failed to get back buffer when saving screenshot"}}));
    EXPECT_TRUE(FilesIn(Folder()).empty());
}

TEST_F(Screenshot, PngOverTenMebibytesIsNotWrittenAndItsNumberComesAgain) {
    // Noise does not compress: 2000 by 2000 pixels make about 12 MB of PNG.
    ResizeBackBuffer(2000, 2000);
    std::vector<uint8_t> noise(2000 * 2000 * 4);
    std::mt19937 random(11);
    for (auto& byte : noise) byte = uint8_t(random());
    FillBackBuffer(noise, 2000);
    {
        LogCapture log;
        SaveSceenshot();
        EXPECT_EQ(log.Lines(), (std::vector<LogLine>{{"SaveSceenshot",
                                                      "Failed to create screenshot data for "
                                                      "'Screenshots/screenshot001.png'"}}));
    }
    EXPECT_TRUE(FilesIn(Folder()).empty());

    ResizeBackBuffer(800, 600);
    SaveSceenshot();
    EXPECT_EQ(FilesIn(Folder()), (std::vector<std::string>{ShotName(1)}));
}

TEST_F(Screenshot, FileThatCannotBeCreatedIsLoggedAndItsNumberComesAgain) {
    // A link is neither an existing screenshot nor somewhere the program may write.
    fs::create_directories(Folder());
    fs::create_symlink(Data().Path() / "nowhere" / "shot.png", Folder() / ShotName(1));
    for (int attempt = 0; attempt < 2; ++attempt) {
        LogCapture log;
        SaveSceenshot();
        EXPECT_EQ(log.Lines(), (std::vector<LogLine>{{"SaveSceenshot",
                                                      "Failed to create file for screenshot "
                                                      "'Screenshots/screenshot001.png'"}}));
    }
    fs::remove(Folder() / ShotName(1));
    SaveSceenshot();
    EXPECT_TRUE(fs::is_regular_file(Folder() / ShotName(1)));
}

// --- F11 in the program's window ----------------------------------------------------------------------

constexpr char kTitle[] = "Vantrisk - Quillmar";

// A still show: a clear and a generator whose picture does not change with time.
const char kStillScript[] =
    "<effect type='CLS'><param key='colour' type='vec4' x='0.1' y='0.2' z='0.3' w='1'/></effect>"
    "<effect type='FullScreenShader'><param key='shader' type='string' value='pattern.fx'/>"
    "<param key='pixelShader' type='string' value='PS'/></effect>";

const char kPatternShader[] = R"(
struct VertexIn { float3 position : POSITION; float2 texcoord : TEXCOORD0; float3 normal : NORMAL; };
struct PixelIn { float4 position : SV_Position; float2 texcoord : TEXCOORD0; };
PixelIn VS(VertexIn input) {
    PixelIn output;
    output.position = float4(input.position.xy * 2.0, 0.0, 1.0);
    output.texcoord = input.texcoord;
    return output;
}
float4 PS(PixelIn input) : SV_Target {
    const float2 cell = floor(input.texcoord * float2(8.0, 6.0));
    const float checker = fmod(cell.x + cell.y, 2.0);
    return float4(input.texcoord.x, input.texcoord.y * checker, 0.5, 1.0);
}
)";

class ScreenshotKey : public testing::Test {
protected:
    void SetUp() override {
        m_show.WriteData("demo.xml", TestSupport::ShowFolder::Script("bpm='120'", kStillScript));
        m_show.WriteData("final.fx", TestSupport::ShowFolder::FinalShader());
        m_show.WriteData("pattern.fx", kPatternShader);
    }

    // Runs the show in a window, presses F11 `presses` times (each after the last screenshot's
    // message), and quits with Escape.
    void TakeScreenshots(int presses) {
        ASSERT_NO_FATAL_FAILURE(StartShow());
        for (int press = 1; press <= presses; ++press) {
            m_display->XDoTool({"key", "--window", m_id, "F11"});
            ASSERT_TRUE(WaitForMessages("Saving screenshot..", press)) << m_show.Log();
        }
        m_display->XDoTool({"key", "--window", m_id, "Escape"});
        const auto code = m_program->Wait(60s);
        ASSERT_TRUE(code.has_value()) << "still running after Escape";
        EXPECT_EQ(*code, 0) << m_program->Output();
    }

    // Runs the show in a window on a display of its own and waits until its main loop runs.
    void StartShow() {
        m_display = std::make_unique<TestSupport::VirtualDisplay>();
        ASSERT_TRUE(m_display->Ready());
        m_program = std::make_unique<TestSupport::Process>(
            std::vector<std::string>{VANTRISK_BINARY, "--windowed"}, m_show.Path(),
            std::vector<std::string>{m_display->Environment(), "SDL_AUDIODRIVER=dummy"});
        m_id = m_display->WaitForWindow(kTitle, 60s);
        ASSERT_FALSE(m_id.empty()) << m_program->Output();
        ASSERT_TRUE(WaitForMessages("Starting main loop", 1)) << m_show.Log();
    }

    bool WaitForMessages(const std::string& text, int count) {
        return TestSupport::WaitUntil(
            [&] {
                const auto texts = TestSupport::LogTexts(m_show.Log());
                return std::count(texts.begin(), texts.end(), text) >= count;
            },
            60s);
    }

    fs::path Folder() const { return m_show.Path() / "Screenshots"; }
    void Leave(int number) const {
        fs::create_directories(Folder());
        std::FILE* file = std::fopen((Folder() / ShotName(number)).c_str(), "w");
        ASSERT_NE(file, nullptr);
        std::fclose(file);
    }

    TestSupport::ShowFolder m_show;
    std::unique_ptr<TestSupport::VirtualDisplay> m_display;
    std::unique_ptr<TestSupport::Process> m_program;
    std::string m_id;
};

TEST_F(ScreenshotKey, EmptyFolderGivesOneThenTwo) {
    TakeScreenshots(2);
    EXPECT_EQ(FilesIn(Folder()), (std::vector<std::string>{ShotName(1), ShotName(2)}));
}

TEST_F(ScreenshotKey, EarlierScreenshotsAreNumberedOn) {
    for (int n : {1, 2, 3}) Leave(n);
    TakeScreenshots(1);
    EXPECT_TRUE(fs::exists(Folder() / ShotName(4)));
    EXPECT_EQ(FilesIn(Folder()).size(), 4u);
}

TEST_F(ScreenshotKey, GapIsFilledThenNumbersJumpPastTheFileAfterIt) {
    Leave(2);
    TakeScreenshots(2);
    EXPECT_EQ(FilesIn(Folder()), (std::vector<std::string>{ShotName(1), ShotName(2), ShotName(3)}));
    EXPECT_GT(fs::file_size(Folder() / ShotName(1)), 0u);
    EXPECT_EQ(fs::file_size(Folder() / ShotName(2)), 0u);
}

TEST_F(ScreenshotKey, HeldKeyTakesOneScreenshot) {
    ASSERT_NO_FATAL_FAILURE(StartShow());
    TestSupport::VirtualDisplay& display = *m_display;
    TestSupport::Process& program = *m_program;
    const std::string& id = m_id;
    // Held long enough for the keyboard's auto-repeat to send many more key-down events.
    display.XDoTool({"keydown", "--window", id, "F11"});
    std::this_thread::sleep_for(1500ms);
    display.XDoTool({"keyup", "--window", id, "F11"});
    ASSERT_TRUE(WaitForMessages("Saving screenshot..", 1)) << m_show.Log();
    std::this_thread::sleep_for(500ms);
    display.XDoTool({"key", "--window", id, "Escape"});
    ASSERT_TRUE(program.Wait(60s).has_value());
    const auto texts = TestSupport::LogTexts(m_show.Log());
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Saving screenshot.."), 1);
    EXPECT_EQ(FilesIn(Folder()), (std::vector<std::string>{ShotName(1)}));
}

TEST_F(ScreenshotKey, PictureOfAStillShowMatchesItsCapture) {
    ASSERT_NO_FATAL_FAILURE(StartShow());
    TestSupport::VirtualDisplay& display = *m_display;
    TestSupport::Process& program = *m_program;
    const std::string& id = m_id;
    // A key pressed before the first frame was presented takes the empty back buffer: press again
    // until the show is on screen (a busy machine may take long to present its first frame).
    fs::path shot;
    Image picture;
    int press = 0;
    bool saved = true;
    const bool shown = TestSupport::WaitUntil(
        [&] {
            display.XDoTool({"key", "--window", id, "F11"});
            ++press;
            saved = WaitForMessages("Saving screenshot..", press);
            if (!saved) return true;  // no use pressing on
            shot = Folder() / ShotName(press);
            // The message comes before the file is written: wait until the whole picture reads back.
            TestSupport::WaitUntil(
                [&] {
                    picture = TestSupport::ReadPicture(shot);
                    return !picture.rgba.empty();
                },
                60s);
            return !picture.rgba.empty() && picture.At(0, 0)[2] != 0;
        },
        120s);
    ASSERT_TRUE(saved) << m_show.Log();
    ASSERT_TRUE(shown) << shot;
    display.XDoTool({"key", "--window", id, "Escape"});
    ASSERT_TRUE(program.Wait(60s).has_value());

    const TestSupport::PngInfo info = TestSupport::ReadPngInfo(shot);
    EXPECT_EQ(info.width, 800);
    EXPECT_EQ(info.height, 600);
    EXPECT_EQ(info.bitsPerPixel, 24);
    const std::string png = TestSupport::ReadHostFile(shot);
    EXPECT_EQ(PngChunks(png, "tEXt"), (std::vector<std::string>{std::string("Software\0DirectXTK", 18)}));
    EXPECT_EQ(PngChunks(png, "pHYs").size(), 1u);

    std::string output;
    ASSERT_EQ(
        TestSupport::RunCommand({VANTRISK_BINARY, "--frame", "1", "capture.png"}, &output, m_show.Path()), 0)
        << output;
    EXPECT_TRUE(TestSupport::ImagesNear(picture, TestSupport::ReadPicture(m_show.Path() / "capture.png"), 2,
                                        0.0, "screenshot-vs-capture"));
}

}  // namespace
