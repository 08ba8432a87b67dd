// Decoding of music files into the mixer's sample format, piece by piece or whole, and conversion to
// the output's rate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
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

/// The compressed bytes of a music file, shared by the sound and every decoder reading it.
using SoundBytes = std::shared_ptr<const std::vector<std::byte>>;

/// Reads one file image (Ogg Vorbis, FLAC, WAV, MP3, ...) from the front to its last sample, a piece
/// at a time: mono is spread to both sides, channels beyond two are mixed in.
class SoundDecoder {
public:
    SoundDecoder();
    ~SoundDecoder();
    SoundDecoder(const SoundDecoder&) = delete;
    SoundDecoder& operator=(const SoundDecoder&) = delete;

    /// Opens `bytes` (kept alive by the decoder); false with a reason in `error` when it is no audio.
    bool Open(SoundBytes bytes, std::string& error);
    /// Frames per second of the file.
    int Rate() const { return m_rate; }
    /// The frame count the file's header claims (0 when it claims none); the decoder reads on past it
    /// or stops before it, whichever the data says.
    int64_t ClaimedFrames() const { return m_claimedFrames; }
    /// Whether the header's frame count is exact for this format (not for MPEG, whose count is an
    /// estimate for variable-rate files).
    bool ClaimIsExact() const { return m_claimIsExact; }
    /// Decodes up to `frames` stereo frames into `out`; 0 at the end of the data or on an error.
    int64_t Read(float* out, int64_t frames);
    /// Moves to `frame` of the file; false when the format cannot seek there.
    bool Seek(int64_t frame);
    /// Why the last Read stopped early, "" when it reached the end of clean data.
    std::string Error() const;

private:
    struct File;
    struct Vorbis;
    void Close();
    bool OpenVorbis();
    int64_t ReadVorbis(float* out, int64_t frames);

    std::unique_ptr<File> m_file;
    // Ogg Vorbis goes to its own decoder, whose seeks land on the exact frame; everything else to
    // the general one.
    std::unique_ptr<Vorbis> m_vorbis;
    std::string m_vorbisError;
    void* m_sound = nullptr;
    int m_rate = 0;
    int m_channels = 0;
    int64_t m_claimedFrames = 0;
    bool m_claimIsExact = true;
    std::vector<float> m_chunk;
};

/// Converts stereo frames from one rate to another with a windowed-sinc filter. Output frame k is
/// computed from the input around k * from / to alone, so the result does not depend on how the input
/// is cut into pieces, and a converter started at any output frame gives exactly the frames that one
/// started at the beginning gives there.
class RateConverter {
public:
    /// A converter whose first output frame is `firstOutputFrame`; it wants its input from
    /// FirstInputFrame() on.
    RateConverter(int fromRate, int toRate, int64_t firstOutputFrame = 0);

    /// The input frame the first Put must start with (earlier frames count as silence).
    int64_t FirstInputFrame() const { return m_inputStart; }
    /// Feeds the next `frames` input frames; appends every output frame they complete to `out`.
    void Put(const float* in, int64_t frames, std::vector<float>& out);
    /// Ends the input, which has `inputFrames` frames in all (counted from the file's start); appends
    /// the remaining output frames, up to the converted length of the whole input.
    void Finish(int64_t inputFrames, std::vector<float>& out);

private:
    /// Appends the output frames whose input is all there; with `end`, input past it is silence.
    void Produce(std::vector<float>& out, int64_t endOutput);
    float Kernel(double x) const;

    int64_t m_from;
    int64_t m_to;
    int m_halfWidth;             // input frames on each side of an output frame's centre
    double m_cutoff;             // of the low-pass, as a fraction of the input's Nyquist frequency
    std::vector<float> m_table;  // the kernel from 0 to m_halfWidth in steps of 1/kTableSteps
    int64_t m_next;              // next output frame
    int64_t m_inputStart;        // input frame of m_input[0]
    std::vector<float> m_input;  // stereo input frames not yet used up
};

/// Converts a frame count at `fromRate` to the count at `toRate`, rounded to the nearest frame.
int64_t ConvertFrameCount(int64_t frames, int fromRate, int toRate);

/// Decodes a whole file image to its last sample, whatever its header claims. False with a reason in
/// `error` when nothing decodable is there.
bool DecodeAudio(std::span<const std::byte> bytes, PcmData& pcm, std::string& error);

/// Converts `pcm` to `rate` frames per second (nothing to do when it already has it).
bool ConvertRate(PcmData& pcm, int rate, std::string& error);

}  // namespace Platform
