// The show at other sizes, through the built program: --size and --supersample for stills, video
// captures and a window, their usage errors, and pictures that match across sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "e2e/showFolder.h"
#include "platform/image/imageCodec.h"
#include "support/gpuFixture.h"
#include "support/process.h"

namespace {

using namespace std::chrono_literals;
using TestSupport::Image;
using TestSupport::ShowFolder;

int RunProgram(const ShowFolder& show, const std::vector<std::string>& arguments,
               std::string* output = nullptr) {
    std::vector<std::string> command{VANTRISK_BINARY};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return TestSupport::RunCommand(command, output, show.Path(), {"SDL_AUDIODRIVER=dummy"}, 280s);
}

void CopyBundledData(const ShowFolder& show) {
    const std::filesystem::path data = std::filesystem::path(VANTRISK_SOURCE_DIR) / "data";
    for (const auto& entry : std::filesystem::directory_iterator(data))
        show.WriteData(entry.path().filename().string(), TestSupport::ReadHostFile(entry.path()));
}

// `image` reduced `factor` times each way by a box filter.
Image Reduce(const Image& image, int factor) {
    Image small;
    small.width = image.width / factor;
    small.height = image.height / factor;
    small.rgba.resize(size_t(small.width) * small.height * 4);
    for (uint32_t y = 0; y < small.height; ++y) {
        for (uint32_t x = 0; x < small.width; ++x) {
            for (int c = 0; c < 4; ++c) {
                int sum = 0;
                for (int dy = 0; dy < factor; ++dy)
                    for (int dx = 0; dx < factor; ++dx) sum += image.At(x * factor + dx, y * factor + dy)[c];
                small.rgba[(size_t(y) * small.width + x) * 4 + c] =
                    uint8_t((sum + factor * factor / 2) / (factor * factor));
            }
        }
    }
    return small;
}

// Whether (x, y) lies on an edge of `image`: a channel spans more than a quarter of its range over
// the pixel's 3 by 3 neighbourhood.
bool OnEdge(const Image& image, uint32_t x, uint32_t y) {
    for (int c = 0; c < 3; ++c) {
        int low = 255, high = 0;
        for (uint32_t ny = y ? y - 1 : 0; ny <= std::min(y + 1, image.height - 1); ++ny) {
            for (uint32_t nx = x ? x - 1 : 0; nx <= std::min(x + 1, image.width - 1); ++nx) {
                low = std::min(low, image.At(nx, ny)[c]);
                high = std::max(high, image.At(nx, ny)[c]);
            }
        }
        if (high - low > 64) return true;
    }
    return false;
}

// Peak signal to noise ratio of the colour channels, in dB (99 for equal pictures); with `skipEdges`
// over the pixels on no edge of either picture alone, where sizes may differ only by aliasing, and
// their share of the picture in `share`.
double Psnr(const Image& a, const Image& b, bool skipEdges = false, double* share = nullptr) {
    if (a.width != b.width || a.height != b.height || a.rgba.empty()) return 0.0;
    double squares = 0, count = 0;
    for (uint32_t y = 0; y < a.height; ++y) {
        for (uint32_t x = 0; x < a.width; ++x) {
            if (skipEdges && (OnEdge(a, x, y) || OnEdge(b, x, y))) continue;
            for (int c = 0; c < 3; ++c) {
                const double d = double(a.At(x, y)[c]) - double(b.At(x, y)[c]);
                squares += d * d;
            }
            count += 3;
        }
    }
    if (share) *share = count / (3.0 * a.width * a.height);
    const double mean = count > 0 ? squares / count : 0;
    return mean == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mean);
}

// The centre of the pixels brighter than the background, in pixels (-1 when there are none).
std::pair<double, double> BrightCentre(const Image& image, int threshold) {
    double sx = 0, sy = 0, n = 0;
    for (uint32_t y = 0; y < image.height; ++y) {
        for (uint32_t x = 0; x < image.width; ++x) {
            const auto p = image.At(x, y);
            if (p[0] + p[1] + p[2] > threshold) {
                sx += x + 0.5;
                sy += y + 0.5;
                ++n;
            }
        }
    }
    return n > 0 ? std::pair{sx / n, sy / n} : std::pair{-1.0, -1.0};
}

// --- Usage ------------------------------------------------------------------------------------------

TEST(SizeOptions, BadValuesAreUsageErrors) {
    ShowFolder show;
    const std::vector<std::vector<std::string>> cases = {
        {"--frame", "0", "f.png", "--size", "0x0"},
        {"--frame", "0", "f.png", "--size", "-800x600"},
        {"--frame", "0", "f.png", "--size", "wide"},
        {"--frame", "0", "f.png", "--size", "1920x"},
        {"--frame", "0", "f.png", "--size", "1.5x2"},
        {"--frame", "0", "f.png", "--size", "7681x4320"},
        {"--frame", "0", "f.png", "--size", "7680x4321"},
        {"--frame", "0", "f.png", "--size"},
        {"--frame", "0", "f.png", "--supersample", "0"},
        {"--frame", "0", "f.png", "--supersample", "5"},
        {"--frame", "0", "f.png", "--supersample", "2.5"},
        {"--capture", "out.mp4", "--size", "1921x1080"},
        {"--capture", "out.webm", "--size", "1920x1081"},
        {"--capture", "out.mp4", "--size", "native"},
        {"--windowed", "--size", "native"},
        {"--check", "--size", "800x600"},
    };
    for (const auto& arguments : cases) {
        std::string output;
        std::string line;
        for (const auto& a : arguments) line += a + " ";
        EXPECT_EQ(RunProgram(show, arguments, &output), 2) << line << "\n" << output;
        EXPECT_NE(output.find("Usage:"), std::string::npos) << line;
    }
    // Odd sizes are fine for stills and PNG frames.
    show.WriteData("demo.xml", ShowFolder::Script(""));
    show.WriteData("final.fx", ShowFolder::FinalShader());
    std::string output;
    EXPECT_EQ(RunProgram(show, {"--frame", "0", "f.png", "--size", "801x599"}, &output), 0) << output;
    const auto info = TestSupport::ReadPngInfo(show.Path() / "f.png");
    EXPECT_EQ(info.width, 801);
    EXPECT_EQ(info.height, 599);
}

TEST(SizeOptions, RenderSizeTheDeviceCannotMakeIsAClearFailure) {
    ShowFolder show;
    show.WriteData("demo.xml", ShowFolder::Script(""));
    show.WriteData("final.fx", ShowFolder::FinalShader());
    std::string output;
    // 23040 by 17280 lies beyond what the software renderer makes (16384 each way).
    const int code =
        RunProgram(show, {"--frame", "0", "f.png", "--size", "7680x4320", "--supersample", "4"}, &output);
    ASSERT_NE(code, 0) << output;
    EXPECT_EQ(code, 255) << output;
    EXPECT_NE(output.find("cannot render at 23040x17280"), std::string::npos) << output;
    EXPECT_FALSE(std::filesystem::exists(show.Path() / "f.png"));
}

// --- Pictures ---------------------------------------------------------------------------------------

TEST(SizeStills, GlyphAtPosLandsAtTwiceItsPixelInADoubleSizeStill) {
    ShowFolder show;
    const std::string writer =
        "<effect type='CLS'><effect type='TextWriter'>"
        "<param key='texture' type='string' value='font.png'/>"
        "<param key='charWidth' type='int' value='16'/><param key='charHeight' type='int' value='16'/>"
        "<param key='charsWide' type='int' value='1'/><param key='charsHigh' type='int' value='1'/>"
        "<param key='text' type='string' value='A'/>"
        "<param key='pos' type='vec2' x='100' y='50'/>"
        "<param key='colour' type='vec4' x='1' y='1' z='1' w='1'/></effect></effect>";
    show.WriteData("demo.xml", ShowFolder::Script("", writer));
    show.WriteData("final.fx", ShowFolder::FinalShader());
    show.WriteData("sprites.fx",
                   TestSupport::ReadHostFile(std::filesystem::path(VANTRISK_SOURCE_DIR) / "data/sprites.fx"));
    std::vector<uint8_t> white(16 * 16 * 4, 255);
    std::vector<uint8_t> png;
    std::string error;
    ASSERT_TRUE(::Image::EncodePng(white.data(), 16, 16, 64, true, "test", png, error)) << error;
    show.WriteData("font.png", std::string(png.begin(), png.end()));

    std::string output;
    ASSERT_EQ(RunProgram(show, {"--frame", "5", "small.png"}, &output), 0) << output;
    ASSERT_EQ(RunProgram(show, {"--frame", "5", "large.png", "--size", "1600x1200"}, &output), 0) << output;
    const Image small = TestSupport::ReadPicture(show.Path() / "small.png");
    const Image large = TestSupport::ReadPicture(show.Path() / "large.png");
    ASSERT_EQ(large.width, 1600u);
    ASSERT_EQ(large.height, 1200u);
    // The glyph is drawn one pixel up and left of pos (its shadow at pos itself): white from (99, 49).
    EXPECT_GT(small.At(99, 49)[0], 200);
    EXPECT_LT(small.At(98, 49)[0], 50);
    EXPECT_GT(large.At(198, 98)[0], 200);
    EXPECT_LT(large.At(197, 98)[0], 50);
    EXPECT_LT(large.At(198, 97)[0], 50);
    // Its far corner: logical (114, 64) is its last pixel, twice that and one more the last here.
    EXPECT_GT(small.At(114, 64)[0], 200);
    EXPECT_GT(large.At(229, 129)[0], 200);
    EXPECT_LT(large.At(230, 129)[0], 50);
}

// One still per scene of the bundled show, in seconds of music: the middle of each scene.
const double kSceneMiddles[] = {4, 16, 32, 44, 56, 68, 76, 84, 92, 99, 103, 108, 115.5, 123.5, 133};

class SizeScenes : public testing::TestWithParam<double> {};

TEST_P(SizeScenes, DoubleSizeAndSupersampledStillsMatchTheOriginal) {
    ShowFolder show;
    CopyBundledData(show);
    const std::string time = std::to_string(GetParam());
    std::string output;
    ASSERT_EQ(RunProgram(show, {"--frame", time, "small.png"}, &output), 0) << output;
    ASSERT_EQ(RunProgram(show, {"--frame", time, "large.png", "--size", "1600x1200"}, &output), 0) << output;
    ASSERT_EQ(RunProgram(show, {"--frame", time, "fine.png", "--supersample", "2"}, &output), 0) << output;
    const Image small = TestSupport::ReadPicture(show.Path() / "small.png");
    const Image large = TestSupport::ReadPicture(show.Path() / "large.png");
    const Image fine = TestSupport::ReadPicture(show.Path() / "fine.png");
    ASSERT_EQ(large.width, 1600u);
    ASSERT_EQ(fine.width, 800u);
    const Image reduced = Reduce(large, 2);
    // Only edges may differ between sizes; the supersampled still is the large one filtered down.
    double share = 0;
    const double sizes = Psnr(reduced, small), inside = Psnr(reduced, small, true, &share);
    const double supersampled = Psnr(fine, reduced);
    std::printf(
        "At %s s: 1600x1200 reduced against 800x600 %.1f dB (%.1f dB off the edges, %.0f%% of it), "
        "supersampled against it %.1f dB\n",
        time.c_str(), sizes, inside, 100 * share, supersampled);
    EXPECT_GE(inside, 30.0) << "at " << time << " s";
    // Most of every scene lies off the edges, so the comparison above covers it.
    EXPECT_GE(share, 0.5) << "at " << time << " s";
    EXPECT_GE(supersampled, 40.0) << "at " << time << " s";
    if (GetParam() == 68) {
        // The cube wall under the camera lands at twice its place.
        const auto [sx, sy] = BrightCentre(small, 150);
        const auto [lx, ly] = BrightCentre(large, 150);
        ASSERT_GT(sx, 0);
        EXPECT_NEAR(lx, 2 * sx, 3.0);
        EXPECT_NEAR(ly, 2 * sy, 3.0);
    }
}

INSTANTIATE_TEST_SUITE_P(BundledShow, SizeScenes, testing::ValuesIn(kSceneMiddles),
                         [](const testing::TestParamInfo<double>& info) {
                             return "At" + std::to_string(int(info.param * 10)) + "ds";
                         });

// --- Video ------------------------------------------------------------------------------------------

struct VideoSize {
    int width, height, bar;
};

class SizeVideo : public testing::TestWithParam<VideoSize> {};

TEST_P(SizeVideo, TwoSecondMp4HasTheSizeTheBarsTheFramesAndTheMusic) {
    const VideoSize size = GetParam();
    ShowFolder show;
    CopyBundledData(show);
    const std::string dimensions = std::to_string(size.width) + "x" + std::to_string(size.height);
    std::string output;
    // Few frames: a software renderer at 4K is slow.
    ASSERT_EQ(RunProgram(show,
                         {"--capture", "out.mp4", "--size", dimensions, "--fps", "4", "--from", "16", "--to",
                          "18", "--quiet"},
                         &output),
              0)
        << output;
    std::string probe;
    TestSupport::RunCommand(
        {"ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
         "stream=width,height,nb_read_frames", "-of", "default=noprint_wrappers=1", "out.mp4"},
        &probe, show.Path());
    EXPECT_NE(probe.find("width=" + std::to_string(size.width)), std::string::npos) << probe;
    EXPECT_NE(probe.find("height=" + std::to_string(size.height)), std::string::npos) << probe;
    EXPECT_NE(probe.find("nb_read_frames=8"), std::string::npos) << probe;
    std::string audio;
    TestSupport::RunCommand({"ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                             "stream=codec_type,duration", "-of", "default=noprint_wrappers=1", "out.mp4"},
                            &audio, show.Path());
    EXPECT_NE(audio.find("codec_type=audio"), std::string::npos) << audio;
    const size_t at = audio.find("duration=");
    ASSERT_NE(at, std::string::npos) << audio;
    EXPECT_NEAR(std::strtod(audio.c_str() + at + 9, nullptr), 2.0, 0.1) << audio;

    ASSERT_EQ(
        TestSupport::RunCommand({"ffmpeg", "-v", "error", "-i", "out.mp4", "-frames:v", "1", "first.png"},
                                &output, show.Path()),
        0)
        << output;
    const Image frame = TestSupport::ReadPicture(show.Path() / "first.png");
    ASSERT_EQ(frame.width, uint32_t(size.width));
    // Black columns of the bar's width on both sides (a little give for the video's colour coding
    // beside the picture's edge), the picture between them.
    const auto columnPeak = [&](int x) {
        int peak = 0;
        for (uint32_t y = 0; y < frame.height; y += 4) {
            const auto p = frame.At(uint32_t(x), y);
            peak = std::max({peak, p[0], p[1], p[2]});
        }
        return peak;
    };
    for (const int x : {0, size.bar / 2, size.bar - 3, size.width - size.bar + 2, size.width - 1})
        EXPECT_LE(columnPeak(x), 24) << "column " << x;
    for (const int x : {size.bar + 2, size.width / 2, size.width - size.bar - 3})
        EXPECT_GT(columnPeak(x), 40) << "column " << x;
}

INSTANTIATE_TEST_SUITE_P(Sizes, SizeVideo,
                         testing::Values(VideoSize{1920, 1080, 240}, VideoSize{3840, 2160, 480}),
                         [](const testing::TestParamInfo<VideoSize>& info) {
                             return "Height" + std::to_string(info.param.height);
                         });

// --- Window -----------------------------------------------------------------------------------------

// A show that paints its whole picture green, in a window on a virtual display.
class SizeWindow : public testing::Test {
protected:
    void Start(const TestSupport::VirtualDisplay& display, const std::vector<std::string>& arguments) {
        m_show.WriteData("demo.xml", ShowFolder::Script("", "<effect type='CLS'/>"));
        m_show.WriteData("final.fx",
                         "struct V { float4 p : SV_Position; };\n"
                         "V VS(float3 p : POSITION, float2 t : TEXCOORD0, float3 n : NORMAL) {\n"
                         "  V o; o.p = float4(p * 2.0, 1.0); return o; }\n"
                         "float4 PS(V i) : SV_Target { return float4(0.0, 1.0, 0.0, 1.0); }\n");
        std::vector<std::string> command{VANTRISK_BINARY};
        command.insert(command.end(), arguments.begin(), arguments.end());
        m_program = std::make_unique<TestSupport::Process>(
            command, m_show.Path(), std::vector<std::string>{display.Environment(), "SDL_AUDIODRIVER=dummy"});
    }
    bool Logged(const std::string& text) const {
        const auto texts = TestSupport::LogTexts(m_show.Log());
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }
    bool WaitForLog(const std::string& text) const {
        return TestSupport::WaitUntil([&] { return Logged(text); }, 60s);
    }
    // F11 until a screenshot shows the show (one taken before the first frame is still black).
    Image ShowingScreenshot(const TestSupport::VirtualDisplay& display, const std::string& id) {
        Image shot;
        for (int attempt = 0; attempt < 20; ++attempt) {
            char name[64];
            std::snprintf(name, sizeof name, "Screenshots/screenshot%03d.png", ++m_screenshots);
            display.XDoTool({"key", "--window", id, "F11"});
            TestSupport::WaitUntil(
                [&] {
                    shot = TestSupport::ReadPicture(m_show.Path() / name);
                    return !shot.rgba.empty();
                },
                20s);
            if (!shot.rgba.empty() && shot.At(shot.width / 2, shot.height / 2)[1] > 200) break;
        }
        return shot;
    }
    void Quit(const TestSupport::VirtualDisplay& display, const std::string& id) {
        display.XDoTool({"key", "--window", id, "Escape"});
        EXPECT_EQ(m_program->Wait(30s), 0) << m_program->Output();
    }

    ShowFolder m_show;
    std::unique_ptr<TestSupport::Process> m_program;
    int m_screenshots = 0;
};

TEST_F(SizeWindow, WindowedSizeOpensThatWindowAndItsScreenshotHasThatSize) {
    TestSupport::VirtualDisplay display;
    ASSERT_TRUE(display.Ready());
    Start(display, {"--windowed", "--size", "1024x768"});
    const std::string id = display.WaitForWindow("Vantrisk - Quillmar", 60s);
    ASSERT_FALSE(id.empty()) << m_program->Output();
    int x = 0, y = 0, width = 0, height = 0;
    ASSERT_TRUE(display.GetGeometry(id, x, y, width, height));
    EXPECT_EQ(width, 1024);
    EXPECT_EQ(height, 768);
    ASSERT_TRUE(WaitForLog("Starting main loop")) << m_show.Log();
    EXPECT_TRUE(Logged("Rendering at 1024x768 for a 1024x768 picture")) << m_show.Log();
    display.XDoTool({"windowfocus", "--sync", id});
    const Image shot = ShowingScreenshot(display, id);
    ASSERT_EQ(shot.width, 1024u);
    ASSERT_EQ(shot.height, 768u);
    EXPECT_TRUE(TestSupport::PixelNear(shot, 512, 384, {0, 255, 0, 255}, 2));
    EXPECT_TRUE(TestSupport::PixelNear(shot, 1, 1, {0, 255, 0, 255}, 2));
    Quit(display, id);
}

TEST_F(SizeWindow, FullScreenNativeRendersAtTheScreensFourByThreeArea) {
    TestSupport::VirtualDisplay display(1280, 1024, true);
    ASSERT_TRUE(display.Ready());
    Start(display, {"--fullscreen", "--size", "native"});
    ASSERT_TRUE(WaitForLog("Starting main loop")) << m_show.Log();
    EXPECT_TRUE(Logged("Rendering at 1280x960 for a 1280x1024 picture")) << m_show.Log();
    EXPECT_TRUE(WaitForLog("Received WM_SIZE of 1280x1024, aspect 1.25")) << m_show.Log();
    const std::string id = display.WaitForWindow("Vantrisk - Quillmar", 10s);
    ASSERT_FALSE(id.empty());
    const Image shot = ShowingScreenshot(display, id);
    ASSERT_EQ(shot.width, 1280u);
    ASSERT_EQ(shot.height, 1024u);
    // 1280 by 960 in the middle, black bars of 32 rows above and below.
    EXPECT_TRUE(TestSupport::PixelNear(shot, 640, 512, {0, 255, 0, 255}, 2));
    EXPECT_TRUE(TestSupport::PixelNear(shot, 640, 33, {0, 255, 0, 255}, 2));
    EXPECT_TRUE(TestSupport::PixelNear(shot, 640, 30, {0, 0, 0, 255}, 2));
    EXPECT_TRUE(TestSupport::PixelNear(shot, 640, 1000, {0, 0, 0, 255}, 2));
    Quit(display, id);
}

}  // namespace
