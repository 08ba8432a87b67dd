#include "platform/sound/soundDecoder.h"

#include <sndfile.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Platform {

namespace {

constexpr sf_count_t kChunkFrames = 4096;

SNDFILE* Handle(void* sound) {
    return static_cast<SNDFILE*>(sound);
}

// Mono is spread to both sides; channels beyond two are mixed into both at half their level.
// `sample(frame, channel)` reads the file's samples in whatever layout the decoder gives them.
template <typename Sample>
void ToStereo(int channels, int64_t frames, float* out, Sample sample) {
    for (int64_t i = 0; i < frames; ++i) {
        float left = sample(i, 0);
        float right = channels > 1 ? sample(i, 1) : left;
        for (int c = 2; c < channels; ++c) {
            left += 0.5f * sample(i, c);
            right += 0.5f * sample(i, c);
        }
        out[i * 2] = left;
        out[i * 2 + 1] = right;
    }
}

}  // namespace

// libsndfile reads through these callbacks straight from the shared bytes.
struct SoundDecoder::File {
    SoundBytes bytes;
    sf_count_t offset = 0;

    sf_count_t Size() const { return static_cast<sf_count_t>(bytes->size()); }

    static sf_count_t Length(void* user) { return static_cast<File*>(user)->Size(); }

    static sf_count_t Seek(sf_count_t offset, int whence, void* user) {
        auto* file = static_cast<File*>(user);
        sf_count_t target = offset;
        if (whence == SEEK_CUR) target += file->offset;
        if (whence == SEEK_END) target += file->Size();
        if (target < 0 || target > file->Size()) return -1;
        file->offset = target;
        return target;
    }

    static sf_count_t Read(void* buffer, sf_count_t count, void* user) {
        auto* file = static_cast<File*>(user);
        const sf_count_t n =
            std::clamp<sf_count_t>(file->Size() - file->offset, 0, std::max<sf_count_t>(count, 0));
        if (n > 0) std::memcpy(buffer, file->bytes->data() + file->offset, static_cast<size_t>(n));
        file->offset += n;
        return n;
    }

    static sf_count_t Write(const void*, sf_count_t, void*) { return 0; }

    static sf_count_t Tell(void* user) { return static_cast<File*>(user)->offset; }

    static size_t VorbisRead(void* buffer, size_t size, size_t count, void* user) {
        if (size == 0) return 0;
        return static_cast<size_t>(Read(buffer, static_cast<sf_count_t>(size * count), user)) / size;
    }
    static int VorbisSeek(void* user, ogg_int64_t offset, int whence) {
        return Seek(offset, whence, user) < 0 ? -1 : 0;
    }
    static long VorbisTell(void* user) { return static_cast<long>(static_cast<File*>(user)->offset); }
};

struct SoundDecoder::Vorbis {
    OggVorbis_File file{};
    bool open = false;
    ~Vorbis() {
        if (open) ov_clear(&file);
    }
};

SoundDecoder::SoundDecoder() = default;

SoundDecoder::~SoundDecoder() {
    Close();
}

void SoundDecoder::Close() {
    if (m_sound) sf_close(Handle(m_sound));
    m_sound = nullptr;
    m_vorbis.reset();
    m_vorbisError.clear();
}

bool SoundDecoder::OpenVorbis() {
    auto vorbis = std::make_unique<Vorbis>();
    const ov_callbacks callbacks{File::VorbisRead, File::VorbisSeek, nullptr, File::VorbisTell};
    if (ov_open_callbacks(m_file.get(), &vorbis->file, nullptr, 0, callbacks) != 0) {
        m_file->offset = 0;
        return false;
    }
    vorbis->open = true;
    const vorbis_info* info = ov_info(&vorbis->file, -1);
    if (!info || info->channels < 1 || info->channels > 255 || info->rate < 1000 || info->rate > 768000)
        return false;
    m_rate = static_cast<int>(info->rate);
    m_channels = info->channels;
    const ogg_int64_t total = ov_pcm_total(&vorbis->file, -1);
    m_claimedFrames = total > 0 ? total : 0;
    m_claimIsExact = true;
    m_vorbis = std::move(vorbis);
    return true;
}

int64_t SoundDecoder::ReadVorbis(float* out, int64_t frames) {
    int64_t done = 0;
    while (done < frames) {
        float** planes = nullptr;
        int link = 0;
        const long got =
            ov_read_float(&m_vorbis->file, &planes,
                          static_cast<int>(std::min<int64_t>(frames - done, kChunkFrames)), &link);
        if (got == OV_HOLE) continue;  // a gap in the data: decoding goes on after it
        if (got < 0) {
            m_vorbisError = "the Ogg Vorbis data is damaged";
            break;
        }
        if (got == 0) break;
        const vorbis_info* info = ov_info(&m_vorbis->file, link);
        if (!info || info->channels != m_channels || info->rate != m_rate) {
            m_vorbisError = "a chained Ogg stream changes its rate or channels";
            break;
        }
        ToStereo(m_channels, got, out + done * 2, [&](int64_t i, int c) { return planes[c][i]; });
        done += got;
    }
    return done;
}

bool SoundDecoder::Open(SoundBytes bytes, std::string& error) {
    Close();
    m_file = std::make_unique<File>(File{std::move(bytes), 0});
    if (OpenVorbis()) return true;
    m_vorbis.reset();
    m_file->offset = 0;
    static SF_VIRTUAL_IO io{File::Length, File::Seek, File::Read, File::Write, File::Tell};
    SF_INFO info{};
    SNDFILE* sound = sf_open_virtual(&io, SFM_READ, &info, m_file.get());
    if (!sound) {
        error = sf_strerror(nullptr);
        return false;
    }
    if (info.channels < 1 || info.channels > 256 || info.samplerate < 1000 || info.samplerate > 768000) {
        error = "unsupported channel count " + std::to_string(info.channels) + " or rate " +
                std::to_string(info.samplerate);
        sf_close(sound);
        return false;
    }
    m_sound = sound;
    m_rate = info.samplerate;
    m_channels = info.channels;
    // A format that cannot tell its length reports the largest count there is: no claim then.
    m_claimedFrames = info.frames > 0 && info.frames < (SF_COUNT_MAX >> 1) ? info.frames : 0;
    m_claimIsExact = (info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_MPEG;
    m_chunk.resize(static_cast<size_t>(kChunkFrames * m_channels));
    return true;
}

int64_t SoundDecoder::Read(float* out, int64_t frames) {
    if (m_vorbis) return ReadVorbis(out, frames);
    if (!m_sound) return 0;
    int64_t done = 0;
    while (done < frames) {
        const sf_count_t want = std::min<sf_count_t>(kChunkFrames, frames - done);
        const sf_count_t got = sf_readf_float(Handle(m_sound), m_chunk.data(), want);
        if (got <= 0) break;
        const float* in = m_chunk.data();
        const int channels = m_channels;
        ToStereo(channels, got, out + done * 2, [&](int64_t i, int c) { return in[i * channels + c]; });
        done += got;
        if (got < want) break;
    }
    return done;
}

bool SoundDecoder::Seek(int64_t frame) {
    if (m_vorbis) return ov_pcm_seek(&m_vorbis->file, frame) == 0;
    return m_sound && sf_seek(Handle(m_sound), frame, SEEK_SET) == frame;
}

std::string SoundDecoder::Error() const {
    if (m_vorbis) return m_vorbisError;
    if (!m_sound || sf_error(Handle(m_sound)) == SF_ERR_NO_ERROR) return "";
    return sf_strerror(Handle(m_sound));
}

namespace {
constexpr int kZeroCrossings = 16;
constexpr int kTableSteps = 256;
}  // namespace

RateConverter::RateConverter(int fromRate, int toRate, int64_t firstOutputFrame)
    : m_from(fromRate), m_to(toRate), m_next(firstOutputFrame) {
    // Going down, the filter cuts below the output's Nyquist frequency, so it reaches further.
    m_cutoff = std::min(1.0, double(toRate) / fromRate) * 0.97;
    m_halfWidth = static_cast<int>(std::ceil(kZeroCrossings / m_cutoff));
    m_table.resize(static_cast<size_t>(m_halfWidth * kTableSteps + 2));
    for (size_t i = 0; i < m_table.size(); ++i) {
        const double x = double(i) / kTableSteps;
        const double sinc = x == 0.0 ? 1.0 : std::sin(M_PI * m_cutoff * x) / (M_PI * m_cutoff * x);
        const double r = std::min(1.0, x / m_halfWidth);
        const double window = 0.42 + 0.5 * std::cos(M_PI * r) + 0.08 * std::cos(2.0 * M_PI * r);  // Blackman
        m_table[i] = static_cast<float>(m_cutoff * sinc * window);
    }
    const int64_t centre = static_cast<int64_t>(static_cast<__int128>(m_next) * m_from / m_to);
    m_inputStart = std::max<int64_t>(0, centre - m_halfWidth + 1);
}

float RateConverter::Kernel(double x) const {
    x = std::abs(x) * kTableSteps;
    const size_t i = static_cast<size_t>(x);
    if (i + 1 >= m_table.size()) return 0.0f;
    const float f = static_cast<float>(x - double(i));
    return m_table[i] + (m_table[i + 1] - m_table[i]) * f;
}

void RateConverter::Produce(std::vector<float>& out, int64_t endOutput) {
    const int64_t available = m_inputStart + static_cast<int64_t>(m_input.size() / 2);
    for (;; ++m_next) {
        const __int128 position = static_cast<__int128>(m_next) * m_from;
        const int64_t centre = static_cast<int64_t>(position / m_to);
        if (endOutput < 0 ? centre + m_halfWidth >= available : m_next >= endOutput) break;
        const double fraction = double(static_cast<int64_t>(position % m_to)) / double(m_to);
        double left = 0.0, right = 0.0;
        for (int64_t j = centre - m_halfWidth + 1; j <= centre + m_halfWidth; ++j) {
            if (j < m_inputStart || j >= available) continue;  // before the start, after the end: silence
            const float w = Kernel(double(j - centre) - fraction);
            const size_t at = static_cast<size_t>(j - m_inputStart) * 2;
            left += w * m_input[at];
            right += w * m_input[at + 1];
        }
        out.push_back(static_cast<float>(left));
        out.push_back(static_cast<float>(right));
    }
    // Input no later output frame reaches is let go.
    const int64_t centre = static_cast<int64_t>(static_cast<__int128>(m_next) * m_from / m_to);
    const int64_t keepFrom = std::clamp<int64_t>(centre - m_halfWidth + 1, m_inputStart, available);
    m_input.erase(m_input.begin(), m_input.begin() + (keepFrom - m_inputStart) * 2);
    m_inputStart = keepFrom;
}

void RateConverter::Put(const float* in, int64_t frames, std::vector<float>& out) {
    m_input.insert(m_input.end(), in, in + frames * 2);
    Produce(out, -1);
}

void RateConverter::Finish(int64_t inputFrames, std::vector<float>& out) {
    Produce(out, ConvertFrameCount(inputFrames, static_cast<int>(m_from), static_cast<int>(m_to)));
}

int64_t ConvertFrameCount(int64_t frames, int fromRate, int toRate) {
    if (fromRate == toRate || fromRate <= 0) return frames;
    return static_cast<int64_t>((static_cast<__int128>(frames) * toRate + fromRate / 2) / fromRate);
}

bool DecodeAudio(std::span<const std::byte> bytes, PcmData& pcm, std::string& error) {
    pcm = PcmData{};
    SoundDecoder decoder;
    if (!decoder.Open(std::make_shared<const std::vector<std::byte>>(bytes.begin(), bytes.end()), error))
        return false;
    // The frame count of the header is not trusted (variable-rate MP3 gets it wrong): read until the
    // decoder runs dry.
    int64_t frames = 0;
    for (;;) {
        pcm.samples.resize(static_cast<size_t>((frames + kChunkFrames) * 2));
        const int64_t got = decoder.Read(pcm.samples.data() + frames * 2, kChunkFrames);
        frames += got;
        if (got < kChunkFrames) break;
    }
    pcm.samples.resize(static_cast<size_t>(frames * 2));
    if (frames == 0) {
        pcm = PcmData{};
        error = "the file holds no samples";
        return false;
    }
    pcm.rate = decoder.Rate();
    return true;
}

bool ConvertRate(PcmData& pcm, int rate, std::string& error) {
    if (pcm.rate == rate) return true;
    if (rate < 1000 || rate > 768000) {
        error = "unsupported output rate " + std::to_string(rate);
        return false;
    }
    RateConverter converter(pcm.rate, rate);
    std::vector<float> converted;
    converted.reserve(static_cast<size_t>(ConvertFrameCount(pcm.Frames(), pcm.rate, rate) * 2 + 64));
    converter.Put(pcm.samples.data(), pcm.Frames(), converted);
    converter.Finish(pcm.Frames(), converted);
    if (converted.empty()) {
        error = "the converted music holds no samples";
        return false;
    }
    pcm.samples = std::move(converted);
    pcm.rate = rate;
    return true;
}

}  // namespace Platform
