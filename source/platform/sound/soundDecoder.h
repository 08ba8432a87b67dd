// Whole-file decoding of music into the mixer's sample format, and conversion to the output's rate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace Platform {

/// Decoded audio: interleaved stereo 32-bit float frames at `rate` frames per second.
struct PcmData {
    int rate = 0;
    std::vector<float> samples;

    int64_t Frames() const { return static_cast<int64_t>(samples.size() / 2); }
};

/// The longest music the decoder keeps; longer files are cut here (memory stays bounded for
/// compressed files that expand enormously).
inline constexpr int64_t kMaxDecodedSeconds = 30 * 60;

/// Decodes a whole file image (Ogg Vorbis, FLAC, WAV, MP3, ...) to its last sample, whatever its
/// header claims; mono is spread to both sides, channels beyond two are mixed in. False with a
/// reason in `error` when nothing decodable is there.
bool DecodeAudio(std::span<const std::byte> bytes, PcmData& pcm, std::string& error);

/// Converts `pcm` to `rate` frames per second (nothing to do when it already has it).
bool ConvertRate(PcmData& pcm, int rate, std::string& error);

}  // namespace Platform
