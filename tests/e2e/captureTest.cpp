// The built program run headless: data mounting, capture to PNG frames and to video, single frames.
#include <gtest/gtest.h>

#include <algorithm>

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
    return TestSupport::RunCommand(command, output, show.Path(), {"SDL_AUDIODRIVER=dummy"}, 240s);
}

TestSupport::Image ReadPng(const std::filesystem::path& path) {
    return TestSupport::ReadPicture(path);
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
    std::string probe;
    TestSupport::RunCommand(
        {"ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
         "stream=nb_read_frames,width,height", "-of", "default=noprint_wrappers=1", "show.mp4"},
        &probe, show.Path());
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

}  // namespace
