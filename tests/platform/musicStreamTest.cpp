// Music decoded as it plays: the stream gives the same samples, length and end as decoding the whole
// file, from the start or from any seek, and says so when the data ends before its header's claim.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <thread>

#include "platform/sound/musicStream.h"
#include "platform/sound/soundDecoder.h"
#include "support/tempFolder.h"

namespace {

using namespace Platform;

// A file of `frames` stereo frames whose left channel is a slow ramp and right a 440 Hz sine.
std::vector<std::byte> Music(int format, int rate, int frames) {
    TestSupport::TempFolder folder;
    const auto path = folder.Path() / "music";
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
    std::vector<float> samples(static_cast<size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        samples[2 * i] = 0.8f * static_cast<float>(i % 10000) / 10000.0f - 0.4f;
        samples[2 * i + 1] = static_cast<float>(0.3 * std::sin(2.0 * M_PI * 440.0 * i / rate));
    }
    sf_writef_float(file, samples.data(), frames);
    sf_close(file);
    const std::string text = TestSupport::ReadHostFile(path);
    const auto* begin = reinterpret_cast<const std::byte*>(text.data());
    return {begin, begin + text.size()};
}

std::shared_ptr<SoundSource> Source(const std::vector<std::byte>& bytes, int outputRate) {
    auto source = std::make_shared<SoundSource>();
    source->bytes = std::make_shared<const std::vector<std::byte>>(bytes);
    SoundDecoder decoder;
    std::string error;
    EXPECT_TRUE(decoder.Open(source->bytes, error)) << error;
    source->fileRate = decoder.Rate();
    source->outputRate = outputRate;
    source->claimedFrames = ConvertFrameCount(decoder.ClaimedFrames(), source->fileRate, outputRate);
    return source;
}

// Everything the stream gives from where it stands to its end, taken as a mixer would, in small
// requests, yielding whenever the decoder has not caught up yet.
std::vector<float> TakeAll(MusicStream& stream) {
    std::vector<float> all;
    std::vector<float> piece(2 * 1000);
    while (!stream.Drained()) {
        const int64_t n = stream.Take(piece.data(), 1000);
        all.insert(all.end(), piece.begin(), piece.begin() + n * 2);
        if (n == 0) std::this_thread::yield();
    }
    return all;
}

// The reference: the whole file decoded and converted at once.
PcmData Whole(const std::vector<std::byte>& bytes, int outputRate) {
    PcmData pcm;
    std::string error;
    EXPECT_TRUE(DecodeAudio(bytes, pcm, error)) << error;
    EXPECT_TRUE(ConvertRate(pcm, outputRate, error)) << error;
    return pcm;
}

struct StreamCase {
    const char* name;
    int format;
    int fileRate;
    int outputRate;
};

class MusicStreamTest : public ::testing::TestWithParam<StreamCase> {};

TEST_P(MusicStreamTest, GivesTheWholeFileDecodedAtOnceAndEndsExactlyWhereItDoes) {
    const StreamCase& c = GetParam();
    // Several seconds: many pieces and several refills of the stream's buffer.
    const auto bytes = Music(c.format, c.fileRate, c.fileRate * 3 + 123);
    const PcmData whole = Whole(bytes, c.outputRate);
    auto source = Source(bytes, c.outputRate);
    EXPECT_EQ(source->Length(), whole.Frames()) << "the header's claim is the length";

    MusicStream stream(source);
    const std::vector<float> all = TakeAll(stream);
    ASSERT_EQ(all.size(), whole.samples.size());
    // The same samples to the bit: the converter's output does not depend on how it is fed.
    EXPECT_EQ(all, whole.samples);
    EXPECT_EQ(stream.EndFrame(), whole.Frames());
    EXPECT_EQ(source->exactFrames.load(), whole.Frames());
    EXPECT_EQ(stream.TakeMessage(), "");
}

TEST_P(MusicStreamTest, SeeksAnywhereAndGoesOnFromThere) {
    const StreamCase& c = GetParam();
    const auto bytes = Music(c.format, c.fileRate, c.fileRate * 2);
    const PcmData whole = Whole(bytes, c.outputRate);
    MusicStream stream(Source(bytes, c.outputRate));
    std::vector<float> piece(2 * 512);
    for (int64_t frame : {whole.Frames() / 2, int64_t(7), whole.Frames() - 700, int64_t(0)}) {
        SCOPED_TRACE(frame);
        stream.Seek(frame);
        ASSERT_EQ(stream.Take(piece.data(), 512), std::min<int64_t>(512, whole.Frames() - frame))
            << "a seek decodes its first moments before it returns";
        // The seek landed on the frame asked for, with the converter's filter primed from before it.
        for (int64_t i = 0; i < std::min<int64_t>(512, whole.Frames() - frame); ++i) {
            ASSERT_EQ(piece[i * 2], whole.samples[(frame + i) * 2]) << i;
            ASSERT_EQ(piece[i * 2 + 1], whole.samples[(frame + i) * 2 + 1]) << i;
        }
    }
    stream.Seek(whole.Frames() - 300);
    EXPECT_EQ(TakeAll(stream).size(), 600u);
    EXPECT_EQ(stream.EndFrame(), whole.Frames());
}

INSTANTIATE_TEST_SUITE_P(
    Formats, MusicStreamTest,
    ::testing::Values(StreamCase{"WavAtTheOutputRate", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 44100},
                      StreamCase{"FlacUp", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 22050, 44100},
                      StreamCase{"OggAtTheOutputRate", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 44100},
                      StreamCase{"OggDown", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 48000, 44100}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MusicStream, DataThatEndsBeforeItsClaimPlaysWhatDecodedAndSaysSo) {
    // FLAC states its length up front; cut in half, the data runs out long before it.
    std::vector<std::byte> bytes = Music(SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 8000, 20000);
    bytes.resize(bytes.size() / 2);
    auto source = Source(bytes, 8000);
    EXPECT_EQ(source->claimedFrames, 20000);
    MusicStream stream(source);
    const size_t taken = TakeAll(stream).size() / 2;
    EXPECT_GT(taken, 4000u);
    EXPECT_LT(taken, 16000u);
    EXPECT_EQ(stream.EndFrame(), static_cast<int64_t>(taken));
    EXPECT_EQ(source->Length(), static_cast<int64_t>(taken)) << "the sound learns its real length";
    const std::string message = stream.TakeMessage();
    EXPECT_NE(message.find("could not be decoded past "), std::string::npos) << message;
    EXPECT_NE(message.find("of the 2.5 s it claims"), std::string::npos) << message;
    EXPECT_EQ(stream.TakeMessage(), "") << "told once";
}

TEST(MusicStream, ASeekPastTheDataEndsThePlaybackThere) {
    std::vector<std::byte> bytes = Music(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 20000);
    bytes.resize(bytes.size() / 2);
    MusicStream stream(Source(bytes, 8000));
    stream.Seek(15000);
    std::vector<float> piece(2 * 64);
    EXPECT_EQ(stream.Take(piece.data(), 64), 0);
    EXPECT_TRUE(stream.Drained());
    EXPECT_LE(stream.EndFrame(), 15000);
}

}  // namespace
