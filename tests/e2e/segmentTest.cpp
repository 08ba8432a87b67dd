// Captures split into segments and joined: the pieces together are the single capture, frame for
// frame, with the music put under them once; bad segments and bad joins are refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/showFolder.h"
#include "support/gpuFixture.h"
#include "support/process.h"

namespace {

using namespace std::chrono_literals;
using TestSupport::ShowFolder;

int RunProgram(const ShowFolder& show, std::vector<std::string> arguments, std::string* output = nullptr) {
    arguments.insert(arguments.begin(), VANTRISK_BINARY);
    return TestSupport::RunCommand(arguments, output, show.Path(), {"SDL_AUDIODRIVER=dummy"}, 600s);
}

std::vector<std::string> With(std::vector<std::string> arguments, const std::vector<std::string>& more) {
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
}

// A show that writes its frame number into the picture: eight bars, white for the bits of
// round(time x fps) that are set (float1 is the rate), over a gradient that moves with the time.
// At 60 beats a minute the show's time is the music's.
void WriteCounterShow(const ShowFolder& show, double musicSeconds) {
    show.WriteData("counter.fx", R"(#include "quad.fxh"
cbuffer Block : register(b0) { float time; float fps; float2 padding; float4 more; };
float4 PS_Counter(PixelIn input) : SV_Target {
    float k = floor(time * fps + 0.5);
    if (input.texcoord.y < 0.5) {
        float bit = fmod(floor(k / exp2(floor(input.texcoord.x * 8.0))), 2.0);
        return float4(bit, bit, bit, 1.0);
    }
    return float4(frac(input.texcoord.x + time * 0.25), input.texcoord.y, 0.5, 1.0);
}
)");
    const std::string data = std::string(VANTRISK_SOURCE_DIR) + "/data/";
    show.WriteData("quad.fxh", TestSupport::ReadHostFile(data + "quad.fxh"));
    show.WriteData("final.fx", ShowFolder::FinalShader());
    show.WriteData("tune.wav", ShowFolder::Wave(musicSeconds));
    show.WriteData("demo.xml", ShowFolder::Script("audioFilename=\"tune.wav\" bpm=\"60\"", R"(
  <effect type="CLS" start="0" length="1000">
    <effect type="FullScreenShader">
      <param key="shader" type="string" value="counter.fx"/>
      <param key="pixelShader" type="string" value="PS_Counter"/>
      <param key="image" type="string" value=""/>
      <param key="float1" type="double" value="10"/>
    </effect>
  </effect>)"));
}

// The frame number a counter show's picture holds.
int ReadCounter(const TestSupport::Image& image) {
    int k = 0;
    for (int bit = 0; bit < 8; ++bit) {
        const uint32_t x = uint32_t((bit + 0.5) * image.width / 8), y = image.height / 4;
        if (image.rgba[(size_t(y) * image.width + x) * 4] > 128) k |= 1 << bit;
    }
    return k;
}

// Decodes every frame of `video` into PNG files; the pictures in order.
std::vector<TestSupport::Image> DecodeFrames(const ShowFolder& show, const std::string& video) {
    const std::filesystem::path folder = show.Path() / (video + ".frames");
    std::filesystem::create_directories(folder);
    std::string output;
    TestSupport::RunCommand(
        {"ffmpeg", "-v", "error", "-i", video, "-vsync", "passthrough", (folder / "%04d.png").string()},
        &output, show.Path());
    std::vector<TestSupport::Image> frames;
    for (int i = 1; std::filesystem::exists(folder / (std::to_string(10000 + i).substr(1) + ".png")); ++i)
        frames.push_back(TestSupport::ReadPicture(folder / (std::to_string(10000 + i).substr(1) + ".png")));
    return frames;
}

double Psnr(const TestSupport::Image& a, const TestSupport::Image& b) {
    if (a.rgba.size() != b.rgba.size() || a.rgba.empty()) return 0;
    double squares = 0;
    for (size_t i = 0; i < a.rgba.size(); ++i) {
        const double d = double(a.rgba[i]) - double(b.rgba[i]);
        squares += d * d;
    }
    const double mean = squares / double(a.rgba.size());
    return mean == 0 ? 100.0 : 10 * std::log10(255.0 * 255.0 / mean);
}

// A value ffprobe gives for a stream ("v" or "a") or the container ("format").
double ProbeNumber(const ShowFolder& show, const std::string& file, const std::string& stream,
                   const std::string& entry) {
    std::vector<std::string> command = {"ffprobe", "-v", "error", "-count_packets"};
    if (stream != "format") command.insert(command.end(), {"-select_streams", stream + ":0"});
    command.insert(command.end(), {"-show_entries", (stream == "format" ? "format=" : "stream=") + entry,
                                   "-of", "default=noprint_wrappers=1:nokey=1", file});
    std::string value;
    TestSupport::RunCommand(command, &value, show.Path());
    return value.empty() ? -1 : std::strtod(value.c_str(), nullptr);
}

std::string ProbeText(const ShowFolder& show, const std::string& file, const std::string& entry) {
    std::string value;
    TestSupport::RunCommand({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                             "stream=" + entry, "-of", "default=noprint_wrappers=1:nokey=1", file},
                            &value, show.Path());
    return value.substr(0, value.find('\n'));
}

// The flags of the first video packet of `file` ("K" first for a key frame).
std::string FirstPacketFlags(const ShowFolder& show, const std::string& file) {
    std::string flags;
    TestSupport::RunCommand({"ffprobe", "-v", "error", "-select_streams", "v:0", "-read_intervals", "%+#1",
                             "-show_entries", "packet=flags", "-of", "csv=p=0", file},
                            &flags, show.Path());
    return flags;
}

TEST(Segment, PngSegmentsAreTheSingleCaptureFileForFile) {
    ShowFolder show;
    const std::filesystem::path data = std::filesystem::path(VANTRISK_SOURCE_DIR) / "data";
    for (const auto& entry : std::filesystem::directory_iterator(data))
        show.WriteData(entry.path().filename().string(), TestSupport::ReadHostFile(entry.path()));
    // Three seconds at 30 frames a second of a scene in motion, small for speed.
    const std::vector<std::string> span = {"--fps", "30",     "--from",  "97",     "--to",
                                           "100",   "--size", "160x120", "--quiet"};
    std::string output;
    ASSERT_EQ(RunProgram(show, With({"--capture", "whole"}, span), &output), 0) << output;
    for (int k = 1; k <= 4; ++k) {
        ASSERT_EQ(RunProgram(show, With({"--capture", "split", "--segment", std::to_string(k) + "/4"}, span),
                             &output),
                  0)
            << output;
    }
    std::vector<std::string> whole, split;
    for (const auto& entry : std::filesystem::directory_iterator(show.Path() / "whole"))
        whole.push_back(entry.path().filename().string());
    for (const auto& entry : std::filesystem::directory_iterator(show.Path() / "split"))
        split.push_back(entry.path().filename().string());
    std::sort(whole.begin(), whole.end());
    std::sort(split.begin(), split.end());
    ASSERT_EQ(whole.size(), 90u);
    ASSERT_EQ(split, whole);
    for (const std::string& name : whole) {
        const TestSupport::Image a = TestSupport::ReadPicture(show.Path() / "whole" / name);
        const TestSupport::Image b = TestSupport::ReadPicture(show.Path() / "split" / name);
        ASSERT_EQ(a.rgba.size(), 160u * 120u * 4u) << name;
        EXPECT_TRUE(a.rgba == b.rgba) << name;
    }
    // --frames renders any range with the capture's numbers.
    ASSERT_EQ(RunProgram(show, With({"--capture", "range/f%03d.png", "--frames", "41:43"}, span), &output), 0)
        << output;
    EXPECT_FALSE(std::filesystem::exists(show.Path() / "range/f040.png"));
    EXPECT_FALSE(std::filesystem::exists(show.Path() / "range/f043.png"));
    EXPECT_TRUE(TestSupport::ReadPicture(show.Path() / "range/f042.png").rgba ==
                TestSupport::ReadPicture(show.Path() / "whole/frame00042.png").rgba);
}

TEST(Segment, VideoPiecesJoinIntoTheSingleCapture) {
    ShowFolder show;
    WriteCounterShow(show, 4.0);
    const std::vector<std::string> span = {"--fps", "10",     "--from",  "0.5",    "--to",
                                           "3.5",   "--size", "160x120", "--quiet"};
    std::string output;
    ASSERT_EQ(RunProgram(show, With({"--capture", "single.mp4"}, span), &output), 0) << output;
    std::vector<std::string> join = {"--join", "joined.mp4"};
    for (int k = 4; k >= 1; --k) {
        const std::string piece = "piece" + std::to_string(k) + ".mp4";
        ASSERT_EQ(RunProgram(show, With({"--capture", piece, "--segment", std::to_string(k) + "/4"}, span),
                             &output),
                  0)
            << output;
        // Silent, and starting with a key frame.
        EXPECT_EQ(ProbeNumber(show, piece, "a", "nb_read_packets"), -1) << piece;
        EXPECT_EQ(FirstPacketFlags(show, piece).substr(0, 1), "K") << piece;
        join.push_back(piece);
    }
    ASSERT_EQ(RunProgram(show, join, &output), 0) << output;

    EXPECT_EQ(ProbeNumber(show, "joined.mp4", "v", "nb_read_packets"), 30);
    EXPECT_EQ(ProbeNumber(show, "single.mp4", "v", "nb_read_packets"), 30);
    EXPECT_EQ(ProbeText(show, "joined.mp4", "r_frame_rate"), "10/1");
    EXPECT_NEAR(ProbeNumber(show, "joined.mp4", "format", "duration"),
                ProbeNumber(show, "single.mp4", "format", "duration"), 0.1);
    EXPECT_NEAR(ProbeNumber(show, "joined.mp4", "a", "duration"),
                ProbeNumber(show, "single.mp4", "a", "duration"), 0.03);
    EXPECT_NEAR(ProbeNumber(show, "joined.mp4", "a", "duration"), 3.0, 0.1);

    const auto joined = DecodeFrames(show, "joined.mp4");
    const auto single = DecodeFrames(show, "single.mp4");
    ASSERT_EQ(joined.size(), 30u);
    ASSERT_EQ(single.size(), 30u);
    double worst = 100;
    for (size_t k = 0; k < joined.size(); ++k) {
        // Frame k of the capture lies at 0.5 + k / 10 s: the counter reads 5 + k.
        EXPECT_EQ(ReadCounter(joined[k]), int(k) + 5) << "frame " << k;
        const double psnr = Psnr(joined[k], single[k]);
        worst = std::min(worst, psnr);
        EXPECT_GE(psnr, 40.0) << "frame " << k;
    }
    RecordProperty("worst_psnr", std::to_string(worst));
}

TEST(Segment, FractionalRatesAreExact) {
    ShowFolder show;
    WriteCounterShow(show, 2.0);
    std::string output;
    const std::vector<std::string> span = {"--fps",  "30000/1001", "--to",   "0.6",
                                           "--size", "64x48",      "--quiet"};
    ASSERT_EQ(RunProgram(show, With({"--capture", "ntsc.mp4"}, span), &output), 0) << output;
    EXPECT_EQ(ProbeText(show, "ntsc.mp4", "r_frame_rate"), "30000/1001");
    // 0.6 s holds 17 whole frames of 1001/30000 s (17.98 of them).
    EXPECT_EQ(ProbeNumber(show, "ntsc.mp4", "v", "nb_read_packets"), 17);
    // Frame k is the one frame rendered at k x 1001 / 30000 s, to the last bit of the time.
    ASSERT_EQ(RunProgram(show, With({"--capture", "ntsc"}, span), &output), 0) << output;
    for (const int k : {1, 7, 16}) {
        char time[64];
        std::snprintf(time, sizeof time, "%.17g", double(k * 1001) / 30000.0);
        ASSERT_EQ(RunProgram(show, {"--frame", time, "single.png", "--size", "64x48"}, &output), 0) << output;
        char name[32];
        std::snprintf(name, sizeof name, "ntsc/frame%05d.png", k);
        EXPECT_TRUE(TestSupport::ReadPicture(show.Path() / name).rgba ==
                    TestSupport::ReadPicture(show.Path() / "single.png").rgba)
            << name;
    }
}

TEST(Segment, BadSegmentsAndBadJoinsAreRefusedAndLeaveNothing) {
    ShowFolder show;
    WriteCounterShow(show, 2.0);
    std::string output;
    const std::vector<std::string> span = {"--fps", "8", "--to", "1", "--size", "64x48", "--quiet"};
    const struct {
        std::vector<std::string> arguments;
        const char* message;
    } refused[] = {
        {{"--segment", "0/4"}, "1 <= K <= N"},       {{"--segment", "5/4"}, "1 <= K <= N"},
        {{"--frames", "10:5"}, "after their first"}, {{"--frames", "2:3", "--segment", "1/2"}, "not both"},
        {{"--fps", "30000/0"}, "frame rate"},
    };
    for (const auto& c : refused) {
        EXPECT_EQ(RunProgram(show, With(With({"--capture", "x.mp4"}, span), c.arguments), &output), 2);
        EXPECT_NE(output.find(c.message), std::string::npos) << output;
    }
    EXPECT_EQ(RunProgram(show, With({"--capture", "x.mp4", "--segment", "3/9"}, span), &output), 1);
    EXPECT_NE(output.find("too few for 9 segments"), std::string::npos) << output;
    EXPECT_EQ(RunProgram(show, With({"--capture", "x.mp4", "--frames", "4:9"}, span), &output), 1);
    EXPECT_NE(output.find("lie beyond the capture's 8 frames"), std::string::npos) << output;
    EXPECT_FALSE(std::filesystem::exists(show.Path() / "x.mp4"));

    for (int k = 1; k <= 3; ++k) {
        ASSERT_EQ(RunProgram(show,
                             With({"--capture", "p" + std::to_string(k) + ".mp4", "--segment",
                                   std::to_string(k) + "/3"},
                                  span),
                             &output),
                  0)
            << output;
    }
    ASSERT_EQ(
        RunProgram(show, With(With({"--capture", "wide.mp4", "--segment", "2/3"}, span), {"--size", "96x72"}),
                   &output),
        0)
        << output;
    ASSERT_EQ(RunProgram(show, With({"--capture", "whole.mp4"}, span), &output), 0) << output;
    const std::string before = "an earlier output, kept whole";
    std::ofstream(show.Path() / "joined.mp4") << before;
    const struct {
        std::vector<std::string> pieces;
        const char* message;
    } joins[] = {
        {{"p1.mp4", "p3.mp4"}, "frames 2:4 are missing between 'p1.mp4' and 'p3.mp4'"},
        {{"p1.mp4", "p2.mp4", "p2.mp4", "p3.mp4"}, "'p2.mp4' duplicates 'p2.mp4'"},
        {{"p1.mp4", "wide.mp4", "p3.mp4"}, "its size is 96x72, not 64x48"},
        {{"p1.mp4", "gone.mp4", "p3.mp4"}, "the piece 'gone.mp4' does not exist"},
        {{"p1.mp4", "whole.mp4", "p3.mp4"}, "'whole.mp4' is not a piece of a split capture"},
        {{"p1.mp4", "p2.mp4"}, "frames 4:8 are missing after 'p2.mp4'"},
        {{"p1.mp4", "p2.mp4", "p3.mp4", "joined.mp4"}, "is also given as a piece"},
    };
    for (const auto& c : joins) {
        EXPECT_EQ(RunProgram(show, With({"--join", "joined.mp4"}, c.pieces), &output), 1);
        EXPECT_NE(output.find(c.message), std::string::npos) << output;
        EXPECT_TRUE(TestSupport::ReadHostFile(show.Path() / "joined.mp4") == before) << c.message;
    }
    // The three pieces in any order make the capture, and nothing else is left in the folder.
    ASSERT_EQ(RunProgram(show, {"--join", "joined.mp4", "p3.mp4", "p1.mp4", "p2.mp4"}, &output), 0) << output;
    EXPECT_EQ(ProbeNumber(show, "joined.mp4", "v", "nb_read_packets"), 8);
    for (const auto& entry : std::filesystem::directory_iterator(show.Path()))
        EXPECT_EQ(entry.path().filename().string().find(".joining"), std::string::npos) << entry.path();
}

}  // namespace
