#include "platform/sound/soundDecoder.h"

#include <SDL.h>
#include <sndfile.h>

#include <algorithm>
#include <cstring>

namespace Platform {

namespace {

// libsndfile reads through these callbacks straight from the caller's bytes.
struct MemoryFile {
    std::span<const std::byte> bytes;
    sf_count_t offset = 0;
};

sf_count_t MemoryLength(void* user) {
    return static_cast<sf_count_t>(static_cast<MemoryFile*>(user)->bytes.size());
}

sf_count_t MemorySeek(sf_count_t offset, int whence, void* user) {
    auto* file = static_cast<MemoryFile*>(user);
    const sf_count_t size = static_cast<sf_count_t>(file->bytes.size());
    sf_count_t target = offset;
    if (whence == SEEK_CUR) target += file->offset;
    if (whence == SEEK_END) target += size;
    if (target < 0 || target > size) return -1;
    file->offset = target;
    return target;
}

sf_count_t MemoryRead(void* buffer, sf_count_t count, void* user) {
    auto* file = static_cast<MemoryFile*>(user);
    const sf_count_t size = static_cast<sf_count_t>(file->bytes.size());
    const sf_count_t n = std::clamp<sf_count_t>(size - file->offset, 0, std::max<sf_count_t>(count, 0));
    if (n > 0) std::memcpy(buffer, file->bytes.data() + file->offset, static_cast<size_t>(n));
    file->offset += n;
    return n;
}

sf_count_t MemoryWrite(const void*, sf_count_t, void*) {
    return 0;
}

sf_count_t MemoryTell(void* user) {
    return static_cast<MemoryFile*>(user)->offset;
}

}  // namespace

bool DecodeAudio(std::span<const std::byte> bytes, PcmData& pcm, std::string& error) {
    pcm = PcmData{};
    MemoryFile file{bytes, 0};
    SF_VIRTUAL_IO io{MemoryLength, MemorySeek, MemoryRead, MemoryWrite, MemoryTell};
    SF_INFO info{};
    SNDFILE* sound = sf_open_virtual(&io, SFM_READ, &info, &file);
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

    // The frame count of the header is not trusted (variable-rate MP3 gets it wrong): read until the
    // decoder runs dry.
    const int channels = info.channels;
    const int64_t maxFrames = kMaxDecodedSeconds * info.samplerate;
    constexpr sf_count_t kChunkFrames = 4096;
    std::vector<float> chunk(static_cast<size_t>(kChunkFrames * channels));
    int64_t frames = 0;
    for (;;) {
        const sf_count_t got = sf_readf_float(sound, chunk.data(), kChunkFrames);
        if (got <= 0) break;
        const int64_t keep = std::min<int64_t>(got, maxFrames - frames);
        pcm.samples.resize(static_cast<size_t>((frames + keep) * 2));
        float* out = pcm.samples.data() + frames * 2;
        for (int64_t i = 0; i < keep; ++i) {
            const float* in = chunk.data() + i * channels;
            float left = in[0];
            float right = channels > 1 ? in[1] : in[0];
            for (int c = 2; c < channels; ++c) {
                left += 0.5f * in[c];
                right += 0.5f * in[c];
            }
            out[i * 2] = left;
            out[i * 2 + 1] = right;
        }
        frames += keep;
        if (frames >= maxFrames) break;
    }
    sf_close(sound);

    if (frames == 0) {
        pcm = PcmData{};
        error = "the file holds no samples";
        return false;
    }
    pcm.rate = info.samplerate;
    return true;
}

bool ConvertRate(PcmData& pcm, int rate, std::string& error) {
    if (pcm.rate == rate) return true;
    SDL_AudioStream* stream = SDL_NewAudioStream(AUDIO_F32SYS, 2, pcm.rate, AUDIO_F32SYS, 2, rate);
    if (!stream) {
        error = SDL_GetError();
        return false;
    }
    std::vector<float> converted;
    converted.reserve(static_cast<size_t>(static_cast<double>(pcm.samples.size()) * rate / pcm.rate) + 64);
    std::vector<float> buffer(16384);
    auto drain = [&] {
        for (;;) {
            const int got =
                SDL_AudioStreamGet(stream, buffer.data(), static_cast<int>(buffer.size() * sizeof(float)));
            if (got <= 0) break;
            converted.insert(converted.end(), buffer.begin(), buffer.begin() + got / sizeof(float));
        }
    };
    bool ok = true;
    constexpr size_t kPutSamples = 65536;
    for (size_t at = 0; at < pcm.samples.size() && ok; at += kPutSamples) {
        const size_t n = std::min(kPutSamples, pcm.samples.size() - at);
        ok = SDL_AudioStreamPut(stream, pcm.samples.data() + at, static_cast<int>(n * sizeof(float))) == 0;
        drain();
    }
    // The converter holds back the last few milliseconds for its filter and does not give them up on
    // a flush: feed silence after the music and cut the result to its exact length.
    const std::vector<float> silence(8192, 0.0f);
    ok = ok &&
         SDL_AudioStreamPut(stream, silence.data(), static_cast<int>(silence.size() * sizeof(float))) == 0;
    ok = ok && SDL_AudioStreamFlush(stream) == 0;
    drain();
    const size_t expected =
        static_cast<size_t>((static_cast<__int128>(pcm.Frames()) * rate + pcm.rate / 2) / pcm.rate);
    if (converted.size() > expected * 2) converted.resize(expected * 2);
    if (!ok) error = SDL_GetError();
    SDL_FreeAudioStream(stream);
    if (!ok) return false;
    converted.resize(converted.size() / 2 * 2);
    if (converted.empty()) {
        error = "the converted music holds no samples";
        return false;
    }
    pcm.samples = std::move(converted);
    pcm.rate = rate;
    return true;
}

}  // namespace Platform
