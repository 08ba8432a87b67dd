// The join's command line and list, and a piece's label in the encoder's command line.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/video/videoEncoder.h"
#include "platform/video/videoTools.h"

namespace {

bool Has(const std::vector<std::string>& args, const std::vector<std::string>& part) {
    return std::search(args.begin(), args.end(), part.begin(), part.end()) != args.end();
}

TEST(VideoTools, ConcatListQuotesPathsAndGivesExactLengths) {
    const std::string list =
        Platform::ConcatList({{"/tmp/a b/p1.mp4", 233567}, {"/tmp/it's/p2.mp4", 233566}});
    EXPECT_EQ(list,
              "ffconcat version 1.0\n"
              "file '/tmp/a b/p1.mp4'\nduration 233567us\n"
              "file '/tmp/it'\\''s/p2.mp4'\nduration 233566us\n");
}

TEST(VideoTools, JoinCopiesTheVideoAndEncodesTheMusicAsACaptureDoes) {
    struct Case {
        const char* output;
        const char* music;
        std::vector<std::string> audio;  ///< expected audio encoding, empty for none
    };
    const Case cases[] = {
        {"out.mp4", "/tmp/m.ogg", {"-c:a", "aac", "-b:a", "192k"}},
        {"out.webm", "/tmp/m.ogg", {"-c:a", "libopus"}},
        {"out.mkv", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        Platform::ConcatDesc desc{"/tmp/list.txt", c.output, c.music, 97.5, 3.0};
        const auto args = Platform::ConcatArguments(desc);
        EXPECT_TRUE(Has(args, {"-f", "concat", "-safe", "0", "-i", "/tmp/list.txt"}));
        EXPECT_TRUE(Has(args, {"-map", "0:v", "-c:v", "copy"}));
        EXPECT_EQ(args.back(), c.output);
        if (c.audio.empty()) {
            EXPECT_FALSE(Has(args, {"-map", "1:a"}));
            EXPECT_FALSE(Has(args, {"-t", "3.000000"}));
        } else {
            EXPECT_TRUE(Has(args, {"-ss", "97.500000", "-t", "3.000000", "-i", c.music}));
            EXPECT_TRUE(Has(args, c.audio));
        }
    }
}

TEST(VideoTools, AnExactRateAndALabelReachTheEncoder) {
    Platform::VideoDesc desc;
    desc.path = "piece.mp4";
    desc.rate = "30000/1001";
    desc.comment = "what the piece holds";
    const auto args = Platform::VideoEncoderArguments(desc);
    EXPECT_TRUE(Has(args, {"-r", "30000/1001", "-i", "pipe:0"}));
    EXPECT_TRUE(Has(args, {"-metadata", "comment=what the piece holds"}));
    EXPECT_FALSE(Has(args, {"-c:a"}));
}

TEST(VideoTools, ProbingAMissingOrForeignFileSaysWhy) {
    if (!Platform::IsVideoProbeAvailable()) GTEST_SKIP() << "ffprobe is not installed";
    std::string error;
    EXPECT_FALSE(Platform::ProbeVideo("/no/such/file.mp4", error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
    EXPECT_FALSE(Platform::ProbeVideo(VANTRISK_SOURCE_DIR "/data/music.ogg", error));
    EXPECT_EQ(error, "it holds no video");
}

}  // namespace
