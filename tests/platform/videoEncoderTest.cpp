// The encoder's command line for each container and quality: best keeps the settings captures always
// had, every quality gives the same pixel format, length and audio, and quality names are exact.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/video/videoEncoder.h"

namespace {

using Platform::VideoQuality;

// Whether `part` appears in `args` as consecutive arguments.
bool Has(const std::vector<std::string>& args, const std::vector<std::string>& part) {
    return std::search(args.begin(), args.end(), part.begin(), part.end()) != args.end();
}

std::string Joined(const std::vector<std::string>& args) {
    std::string text;
    for (const auto& a : args) text += a + " ";
    return text;
}

TEST(VideoEncoder, QualityNamesAreExact) {
    EXPECT_EQ(Platform::VideoQualityFromName("draft"), VideoQuality::Draft);
    EXPECT_EQ(Platform::VideoQualityFromName("normal"), VideoQuality::Normal);
    EXPECT_EQ(Platform::VideoQualityFromName("best"), VideoQuality::Best);
    for (const char* bad : {"", "Best", "fast", "normal ", "draf"})
        EXPECT_FALSE(Platform::VideoQualityFromName(bad)) << "'" << bad << "'";
    EXPECT_EQ(Platform::VideoDesc{}.quality, VideoQuality::Normal);
}

TEST(VideoEncoder, EveryQualityKeepsFormatLengthAndAudio) {
    struct Case {
        const char* path;
        VideoQuality quality;
        std::vector<std::string> codec;  // what must follow "-c:v"
    };
    const Case cases[] = {
        {"a.mp4", VideoQuality::Best, {"libx264", "-preset", "fast", "-crf", "12"}},
        {"a.mkv", VideoQuality::Best, {"libx264", "-preset", "fast", "-crf", "12"}},
        {"a.webm", VideoQuality::Best, {"libvpx-vp9", "-b:v", "4M"}},
        {"a.mp4", VideoQuality::Normal, {"libx264", "-preset"}},
        {"a.mp4", VideoQuality::Draft, {"libx264", "-preset"}},
        {"a.webm", VideoQuality::Normal, {"libvpx-vp9", "-deadline", "realtime"}},
        {"a.webm", VideoQuality::Draft, {"libvpx-vp9", "-deadline", "realtime"}},
    };
    for (const Case& c : cases) {
        Platform::VideoDesc desc;
        desc.path = c.path;
        desc.rate = "30";
        desc.audioPath = "/tmp/music.ogg";
        desc.audioStart = 1.5;
        desc.duration = 2.5;
        desc.quality = c.quality;
        const auto args = Platform::VideoEncoderArguments(desc);
        SCOPED_TRACE(Joined(args));
        std::vector<std::string> codec{"-c:v"};
        codec.insert(codec.end(), c.codec.begin(), c.codec.end());
        EXPECT_TRUE(Has(args, codec));
        EXPECT_TRUE(Has(args, {"-pix_fmt", "yuv420p", "-c:a"}));
        EXPECT_TRUE(Has(args, {"-f", "rawvideo", "-pix_fmt", "rgba", "-s", "800x600", "-r", "30"}));
        EXPECT_TRUE(Has(args, {"-ss", "1.500000", "-t", "2.500000", "-i", "/tmp/music.ogg"}));
        EXPECT_TRUE(Has(args, {"-map", "0:v", "-map", "1:a"}));
        ASSERT_GE(args.size(), 3u);
        EXPECT_EQ(args[args.size() - 3], "-t");
        EXPECT_EQ(args.back(), c.path);
    }
    // Without music there is no audio input or codec.
    Platform::VideoDesc silent;
    silent.path = "b.webm";
    const auto args = Platform::VideoEncoderArguments(silent);
    EXPECT_FALSE(Has(args, {"-map", "1:a"}));
    EXPECT_FALSE(Has(args, {"-c:a"}));
}

}  // namespace
