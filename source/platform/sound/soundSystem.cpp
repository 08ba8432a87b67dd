#include "platform/sound/soundSystem.h"

#include <string>

#include "platform/sound/deviceOutput.h"
#include "platform/sound/mixer.h"
#include "platform/sound/silentOutput.h"
#include "system/log.h"

namespace Platform {

namespace {
constexpr int kSilentRate = 44100;
}  // namespace

const char* SoundResultText(SoundResult result) {
    switch (result) {
        case SoundResult::Ok:
            return "no error";
        case SoundResult::InvalidHandle:
            return "the channel plays nothing";
        case SoundResult::InvalidPosition:
            return "the position lies outside the sound";
        case SoundResult::InvalidParam:
            return "an argument is out of range";
        case SoundResult::NotInitialised:
            return "the sound system is not initialised";
        case SoundResult::AlreadyInitialised:
            return "the sound system is already initialised";
        case SoundResult::BadFormat:
            return "the data is no audio the decoder reads";
        case SoundResult::ChannelEnded:
            return "the playback has finished";
    }
    return "unknown result";
}

SoundSystem::SoundSystem() : m_mixer(std::make_shared<Mixer>()) {}

SoundSystem::~SoundSystem() {
    if (m_mixer->output) m_mixer->output->Close();
    std::lock_guard guard(m_mixer->lock);
    for (const auto& playback : m_mixer->playbacks) {
        playback->stopped = true;
        playback->stream.reset();
    }
    m_mixer->Collect();
}

SoundResult SoundSystem::SetOutput(SoundOutputType type) {
    if (m_initialised) return SoundResult::AlreadyInitialised;
    m_outputType = type;
    return SoundResult::Ok;
}

SoundResult SoundSystem::SetDriver(int driver) {
    if (m_initialised) return SoundResult::AlreadyInitialised;
    if (driver < 0) return SoundResult::InvalidParam;
    m_driver = driver;
    return SoundResult::Ok;
}

SoundResult SoundSystem::Init(int maxChannels) {
    if (m_initialised) return SoundResult::AlreadyInitialised;
    if (maxChannels < 1 || maxChannels > 4096) return SoundResult::InvalidParam;
    Mixer* mixer = m_mixer.get();
    auto renderer = [mixer](float* out, int frames, int64_t streamFrame) {
        mixer->Render(out, frames, streamFrame);
    };
    std::unique_ptr<SoundOutput> output;
    if (m_outputType == SoundOutputType::Autodetect) {
        std::string error;
        output = DeviceOutput::Open(m_driver, mixer->lock, renderer, error);
        if (!output) {
            VLOG("Platform::SoundSystem::Init", "No usable audio device (%s); the music plays silently",
                 error.c_str());
        }
    }
    if (!output) output = std::make_unique<SilentOutput>(kSilentRate, mixer->lock, renderer);

    std::lock_guard guard(mixer->lock);
    mixer->output = std::move(output);
    mixer->maxPlaybacks = maxChannels;
    m_initialised = true;
    return SoundResult::Ok;
}

SoundResult SoundSystem::Update() {
    if (!m_initialised) return SoundResult::NotInitialised;
    std::lock_guard guard(m_mixer->lock);
    for (const auto& playback : m_mixer->playbacks) {
        // The decoding threads cannot log; what they noticed is told here, once.
        const std::string message = playback->stream ? playback->stream->TakeMessage() : "";
        if (!message.empty()) VLOG("Platform::SoundSystem::Update", "%s", message.c_str());
        m_mixer->HeardPosition(*playback);
    }
    m_mixer->Collect();
    return SoundResult::Ok;
}

SoundResult SoundSystem::CreateSound(std::vector<std::byte> bytes, std::unique_ptr<Sound>& sound) {
    sound.reset();
    if (!m_initialised) return SoundResult::NotInitialised;
    auto source = std::make_shared<SoundSource>();
    source->bytes = std::make_shared<const std::vector<std::byte>>(std::move(bytes));
    source->outputRate = GetOutputRate();
    // Only the header and the first samples are read here; each playback decodes the rest as it plays.
    std::string error;
    SoundDecoder decoder;
    std::vector<float> first(2 * 64);
    bool ok = decoder.Open(source->bytes, error);
    if (ok && decoder.Read(first.data(), 64) == 0) {
        const std::string reason = decoder.Error();
        error = reason.empty() ? "the file holds no samples" : reason;
        ok = false;
    }
    if (!ok) {
        VLOG("Platform::SoundSystem::CreateSound", "Audio data could not be decoded: %s", error.c_str());
        return SoundResult::BadFormat;
    }
    source->fileRate = decoder.Rate();
    source->claimedFrames = ConvertFrameCount(decoder.ClaimedFrames(), source->fileRate, source->outputRate);
    sound.reset(new Sound(m_mixer, std::move(source)));
    return SoundResult::Ok;
}

SoundResult SoundSystem::PlaySound(Sound& sound, bool paused, Channel& channel) {
    channel = Channel();
    if (!m_initialised) return SoundResult::NotInitialised;
    auto playback = std::make_shared<Playback>();
    playback->stream = std::make_unique<MusicStream>(sound.m_source);
    playback->rate = sound.m_source->outputRate;
    playback->sound = &sound;
    playback->paused = paused;

    std::lock_guard guard(m_mixer->lock);
    m_mixer->Collect();
    if (static_cast<int>(m_mixer->playbacks.size()) >= m_mixer->maxPlaybacks) {
        m_mixer->Stop(*m_mixer->playbacks.front());
    }
    m_mixer->playbacks.push_back(playback);
    channel = Channel(m_mixer, std::move(playback));
    return SoundResult::Ok;
}

const char* SoundSystem::GetOutputName() const {
    std::lock_guard guard(m_mixer->lock);
    return m_mixer->output ? m_mixer->output->Name() : "";
}

int SoundSystem::GetOutputRate() const {
    std::lock_guard guard(m_mixer->lock);
    return m_mixer->output ? m_mixer->output->Rate() : 0;
}

}  // namespace Platform
