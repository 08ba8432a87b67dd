// The built program run headless: data mounting, capture to PNG frames and to video, single frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/showFolder.h"
#include "support/gpuFixture.h"
#include "support/process.h"

namespace {

using namespace std::chrono_literals;
using TestSupport::ShowFolder;

// A final pass that paints one flat colour, to tell which copy of the file was read.
std::string FlatFinalShader(const char* colour) {
    return std::string(
               "struct V { float4 p : SV_Position; };\n"
               "V VS(float3 p : POSITION, float2 t : TEXCOORD0, float3 n : NORMAL) {\n"
               "  V o; o.p = float4(p * 2.0, 1.0); return o; }\n"
               "float4 PS(V i) : SV_Target { return float4(") +
           colour + ", 1.0); }\n";
}

int RunProgram(const ShowFolder& show, const std::vector<std::string>& arguments,
               std::string* output = nullptr) {
    std::vector<std::string> command{VANTRISK_BINARY};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return TestSupport::RunCommand(command, output, show.Path(), {"SDL_AUDIODRIVER=dummy"}, 600s);
}

TestSupport::Image ReadPng(const std::filesystem::path& path) {
    return TestSupport::ReadPicture(path);
}

// The bundled show's data, for captures of real pictures.
void CopyBundledData(const ShowFolder& show) {
    const std::filesystem::path data = std::filesystem::path(VANTRISK_SOURCE_DIR) / "data";
    for (const auto& entry : std::filesystem::directory_iterator(data))
        show.WriteData(entry.path().filename().string(), TestSupport::ReadHostFile(entry.path()));
}

// What ffprobe says of the first stream of `kind` ("v" or "a") in `file`: the values of `entries`.
std::string Probe(const ShowFolder& show, const std::string& file, const std::string& kind,
                  const std::string& entries) {
    std::string probe;
    TestSupport::RunCommand({"ffprobe", "-v", "error", "-count_frames", "-select_streams", kind + ":0",
                             "-show_entries", "stream=" + entries, "-of", "default=noprint_wrappers=1", file},
                            &probe, show.Path());
    return probe;
}

// Where the audio of `file` ends, in seconds, from its last packet (webm keeps no stream duration).
double AudioSeconds(const ShowFolder& show, const std::string& file) {
    std::string packets;
    TestSupport::RunCommand({"ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                             "packet=pts_time,duration_time", "-of", "csv=p=0", file},
                            &packets, show.Path());
    std::istringstream lines(packets);
    double end = 0;
    for (std::string line; std::getline(lines, line);) {
        double start = 0, length = 0;
        if (std::sscanf(line.c_str(), "%lf,%lf", &start, &length) == 2) end = std::max(end, start + length);
    }
    return end;
}

// The average PSNR of `video` against the PNG frames in `frames` (a lossless capture of the same
// span) in the video's 4:2:0, frames paired by their order; -1 when ffmpeg cannot tell.
double VideoPsnr(const ShowFolder& show, const std::string& video, const std::string& frames) {
    const std::string pair = "settb=1/10,setpts=N,format=yuv420p";
    std::string output;
    TestSupport::RunCommand({"ffmpeg", "-hide_banner", "-nostats", "-i", video, "-framerate", "10", "-i",
                             frames + "/frame%05d.png", "-lavfi",
                             "[0:v]" + pair + "[a];[1:v]" + pair + "[b];[a][b]psnr", "-f", "null", "-"},
                            &output, show.Path());
    const size_t at = output.rfind("average:");
    return at == std::string::npos ? -1.0 : std::strtod(output.c_str() + at + 8, nullptr);
}

TEST(Capture, LooseFileOverridesTheArchivesCopy) {
    ShowFolder show;
    show.WriteArchive({{"demo.xml", ShowFolder::Script("")}, {"final.fx", FlatFinalShader("0.0, 0.0, 1.0")}});
    show.WriteData("final.fx", FlatFinalShader("0.0, 1.0, 0.0"));
    std::string output;
    ASSERT_EQ(RunProgram(show, {"--frame", "0", "frame.png"}, &output), 0) << output;
    const auto info = TestSupport::ReadPngInfo(show.Path() / "frame.png");
    EXPECT_EQ(info.width, 800);
    EXPECT_EQ(info.height, 600);
    const TestSupport::Image image = ReadPng(show.Path() / "frame.png");
    EXPECT_TRUE(TestSupport::PixelNear(image, 400, 300, {0, 255, 0, 255}));
    const auto texts = TestSupport::LogTexts(show.Log());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Mounted archive: (null)"), texts.end()) << show.Log();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Mounted directory: (null)"), texts.end());
}

TEST(Capture, ArchiveAloneIsEnoughAndMissingFolderIsLogged) {
    ShowFolder show;
    std::filesystem::remove_all(show.Path() / "data");
    show.WriteArchive({{"demo.xml", ShowFolder::Script("")}, {"final.fx", FlatFinalShader("0.0, 0.0, 1.0")}});
    std::string output;
    ASSERT_EQ(RunProgram(show, {"--frame", "1.5", "frame.png"}, &output), 0) << output;
    EXPECT_TRUE(TestSupport::PixelNear(ReadPng(show.Path() / "frame.png"), 10, 10, {0, 0, 255, 255}));
    const auto texts = TestSupport::LogTexts(show.Log());
    const auto folderLine = std::find_if(texts.begin(), texts.end(), [](const std::string& t) {
        return t.rfind("Mounted directory: ", 0) == 0;
    });
    ASSERT_NE(folderLine, texts.end());
    EXPECT_NE(*folderLine, "Mounted directory: (null)");
}

TEST(Capture, FolderAloneRunsAndLogsTheArchivesMountError) {
    ShowFolder show;
    show.WriteData("demo.xml", ShowFolder::Script(""));
    show.WriteData("final.fx", ShowFolder::FinalShader());
    std::string output;
    ASSERT_EQ(RunProgram(show, {"--frame", "0", "frame.png"}, &output), 0) << output;
    const auto texts = TestSupport::LogTexts(show.Log());
    const auto archiveLine = std::find_if(texts.begin(), texts.end(), [](const std::string& t) {
        return t.rfind("Mounted archive: ", 0) == 0;
    });
    ASSERT_NE(archiveLine, texts.end());
    EXPECT_NE(*archiveLine, "Mounted archive: (null)");
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Mounted directory: (null)"), texts.end());
}

TEST(Capture, NoDataMeansNoDemo) {
    ShowFolder show;
    std::filesystem::remove_all(show.Path() / "data");
    std::string output;
    EXPECT_EQ(RunProgram(show, {"--frame", "0", "frame.png"}, &output), 255);
    EXPECT_NE(output.find("NO DATA = NO DEMO"), std::string::npos) << output;
    EXPECT_FALSE(std::filesystem::exists(show.Path() / "frame.png"));
}

TEST(Capture, PngPatternGetsOneFilePerFrame) {
    ShowFolder show;
    show.WriteData("demo.xml", ShowFolder::Script("bpm=\"120\""));
    show.WriteData("final.fx", ShowFolder::FinalShader());
    std::string output;
    ASSERT_EQ(RunProgram(show, {"--capture", "shots/f%03d.png", "--fps", "10", "--from", "1", "--to", "1.5"},
                         &output),
              0)
        << output;
    for (int i = 0; i < 5; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "shots/f%03d.png", i);
        const auto info = TestSupport::ReadPngInfo(show.Path() / name);
        EXPECT_EQ(info.width, 800) << name;
        EXPECT_EQ(info.height, 600) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(show.Path() / "shots/f005.png"));
}

TEST(Capture, FolderOutputAndMusicLengthAsDefaultEnd) {
    ShowFolder show;
    show.WriteData("demo.xml", ShowFolder::Script("audioFilename=\"tune.wav\""));
    show.WriteData("tune.wav", ShowFolder::Wave(0.5));
    show.WriteData("final.fx", ShowFolder::FinalShader());
    std::string output;
    ASSERT_EQ(RunProgram(show, {"--capture", "frames", "--fps", "8"}, &output), 0) << output;
    EXPECT_TRUE(std::filesystem::exists(show.Path() / "frames/frame00003.png"));
    EXPECT_FALSE(std::filesystem::exists(show.Path() / "frames/frame00004.png"));
}

TEST(Capture, WithoutMusicTheEndMustBeGiven) {
    ShowFolder show;
    show.WriteData("demo.xml", ShowFolder::Script(""));
    show.WriteData("final.fx", ShowFolder::FinalShader());
    std::string output;
    EXPECT_NE(RunProgram(show, {"--capture", "frames"}, &output), 0);
    EXPECT_NE(output.find("--to"), std::string::npos) << output;
}

TEST(Capture, UnwritableOutputFailsClearly) {
    ShowFolder show;
    show.WriteData("demo.xml", ShowFolder::Script(""));
    show.WriteData("final.fx", ShowFolder::FinalShader());
    std::string output;
    EXPECT_NE(RunProgram(show, {"--capture", "/proc/no-such-place/f%03d.png", "--to", "0.1"}, &output), 0);
    EXPECT_NE(output.find("Cannot"), std::string::npos) << output;
}

TEST(Capture, VideoHasTheFramesAndTheMusicSpan) {
    ShowFolder show;
    show.WriteData("demo.xml", ShowFolder::Script("audioFilename=\"tune.wav\""));
    show.WriteData("tune.wav", ShowFolder::Wave(3.0));
    show.WriteData("final.fx", ShowFolder::FinalShader());
    std::string output;
    ASSERT_EQ(
        RunProgram(show, {"--capture", "show.mp4", "--fps", "10", "--from", "0.5", "--to", "2.0"}, &output),
        0)
        << output;
    const std::string probe = Probe(show, "show.mp4", "v", "nb_read_frames,width,height");
    EXPECT_NE(probe.find("nb_read_frames=15"), std::string::npos) << probe;
    EXPECT_NE(probe.find("width=800"), std::string::npos) << probe;
    std::string audio;
    TestSupport::RunCommand({"ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                             "stream=duration", "-of", "default=noprint_wrappers=1:nokey=1", "show.mp4"},
                            &audio, show.Path());
    ASSERT_FALSE(audio.empty());
    EXPECT_NEAR(std::strtod(audio.c_str(), nullptr), 1.5, 0.1) << audio;
}

TEST(Capture, BadArgumentsAreRefused) {
    ShowFolder show;
    std::string output;
    EXPECT_EQ(RunProgram(show, {"--capture"}, &output), 2);
    EXPECT_EQ(RunProgram(show, {"--frame", "soon", "x.png"}, &output), 2);
    EXPECT_EQ(RunProgram(show, {"--bogus"}, &output), 2);
    EXPECT_EQ(RunProgram(show, {"--help"}, &output), 0);
    EXPECT_NE(output.find("--capture OUT"), std::string::npos);
}

TEST(Capture, QualityMustBeNamedAndDroppedFramesWriteNothing) {
    ShowFolder show;
    show.WriteData("demo.xml", ShowFolder::Script(""));
    show.WriteData("final.fx", ShowFolder::FinalShader());
    std::string output;
    EXPECT_EQ(RunProgram(show, {"--capture", "a.mp4", "--to", "1", "--quality", "fast"}, &output), 2);
    EXPECT_NE(output.find("not a quality (draft, normal or best): fast"), std::string::npos) << output;
    EXPECT_EQ(RunProgram(show, {"--capture", "a.mp4", "--to", "1", "--quality"}, &output), 2);
    EXPECT_NE(output.find("--quality needs"), std::string::npos) << output;
    EXPECT_FALSE(std::filesystem::exists(show.Path() / "a.mp4"));

    EXPECT_EQ(RunProgram(show, {"--drop-frames", "--capture", "frames", "--to", "1"}, &output), 2);
    ASSERT_EQ(RunProgram(show, {"--drop-frames", "--fps", "10", "--to", "0.5"}, &output), 0) << output;
    EXPECT_NE(output.find("Captured 5 frames to nowhere"), std::string::npos) << output;
    // The bar's last state: every frame, the rate and the real-time factor beside it.
    EXPECT_TRUE(std::regex_search(output, std::regex(R"(frame 5/5  [0-9.]+ fps  [0-9]+\.[0-9]x )")))
        << output;
    // The show's data, its shader cache and its log are all there is.
    for (const auto& entry : std::filesystem::directory_iterator(show.Path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "data" || name == "ShaderCache" || name == "Vantrisk.log") << name;
    }
}

// Frames go through read-backs that overlap the next frame and a writer thread; they must come out
// as the one-frame render of the same music time gives them, in order, the last frames included.
TEST(Capture, FramesMatchSingleFrameRendersInOrderToTheLast) {
    ShowFolder show;
    CopyBundledData(show);
    std::string output;
    // Times that are exact in binary, so that --frame renders the very same instant.
    ASSERT_EQ(RunProgram(show, {"--capture", "frames", "--fps", "8", "--from", "97", "--to", "98"}, &output),
              0)
        << output;
    EXPECT_FALSE(std::filesystem::exists(show.Path() / "frames/frame00008.png"));
    for (const int k : {0, 4, 6, 7}) {
        const std::string time = std::to_string(97.0 + k / 8.0);
        ASSERT_EQ(RunProgram(show, {"--frame", time, "single.png"}, &output), 0) << output;
        char name[32];
        std::snprintf(name, sizeof name, "frames/frame%05d.png", k);
        const TestSupport::Image captured = ReadPng(show.Path() / name);
        const TestSupport::Image single = ReadPng(show.Path() / "single.png");
        ASSERT_EQ(captured.rgba.size(), 800u * 600u * 4u) << name;
        EXPECT_TRUE(captured.rgba == single.rgba) << name << " differs from --frame " << time;
    }
}

TEST(Capture, EveryQualityAndContainerGivesEveryFrameVisuallyLossless) {
    ShowFolder show;
    CopyBundledData(show);
    std::string output;
    ASSERT_EQ(RunProgram(show, {"--capture", "frames", "--fps", "10", "--from", "97", "--to", "98"}, &output),
              0)
        << output;
    for (const char* file : {"show.mp4", "show.webm"}) {
        for (const char* quality : {"draft", "normal", "best"}) {
            SCOPED_TRACE(std::string(file) + " " + quality);
            ASSERT_EQ(RunProgram(show,
                                 {"--capture", file, "--quality", quality, "--fps", "10", "--from", "97",
                                  "--to", "98"},
                                 &output),
                      0)
                << output;
            const std::string video = Probe(show, file, "v", "nb_read_frames,width,height");
            EXPECT_NE(video.find("nb_read_frames=10"), std::string::npos) << video;
            EXPECT_NE(video.find("height=600"), std::string::npos) << video;
            EXPECT_NEAR(AudioSeconds(show, file), 1.0, 0.1);
            EXPECT_GE(VideoPsnr(show, file, "frames"), 40.0);
        }
    }
}

}  // namespace

namespace {

// Half a second in the middle of each scene of the bundled show (music seconds), from the plasma
// intro to the outro; the lattice of thousands of tiny cubes at 103 s is the hardest to encode.
constexpr double kSceneSpans[] = {4, 16, 32, 44, 52, 68, 76, 84, 91, 97, 103, 109, 120, 132};

TEST(Capture, NormalQualityIsVisuallyLosslessOnEveryScene) {
    ShowFolder show;
    CopyBundledData(show);
    for (double from : kSceneSpans) {
        const std::string span = std::to_string(int(from));
        SCOPED_TRACE(span + " s");
        const std::vector<std::string> times = {"--fps", "30",   "--from",
                                                span,    "--to", std::to_string(from + 0.5)};
        std::vector<std::string> png = {"--capture", "frames" + span + "/frame%05d.png"};
        std::vector<std::string> mp4 = {"--capture", "scene" + span + ".mp4"};
        png.insert(png.end(), times.begin(), times.end());
        mp4.insert(mp4.end(), times.begin(), times.end());
        std::string output;
        ASSERT_EQ(RunProgram(show, png, &output), 0) << output;
        ASSERT_EQ(RunProgram(show, mp4, &output), 0) << output;
        const std::string file = "scene" + span + ".mp4";
        EXPECT_NE(Probe(show, file, "v", "nb_read_frames").find("nb_read_frames=15"), std::string::npos);
        const double psnr = VideoPsnr(show, file, "frames" + span);
        RecordProperty("psnr_" + span, std::to_string(psnr));
        EXPECT_GE(psnr, 40.0);
    }
}

}  // namespace
