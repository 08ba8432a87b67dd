#include "platform/sound/deviceOutput.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Platform {

namespace {
constexpr int kWantedRate = 44100;
constexpr int kWantedBufferFrames = 1024;
// Long enough to contain a callback that came on time, short enough to follow clock drift.
constexpr double kOffsetWindowSeconds = 2.0;
}  // namespace

DeviceOutput::DeviceOutput(std::mutex& lock, SoundRenderer renderer)
    : m_lock(lock), m_renderer(std::move(renderer)), m_epoch(SoundClock::now()) {}

std::unique_ptr<DeviceOutput> DeviceOutput::Open(int driver, std::mutex& lock, SoundRenderer renderer,
                                                 std::string& error, bool acceptSilentDrivers) {
    std::unique_ptr<DeviceOutput> output(new DeviceOutput(lock, std::move(renderer)));
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        error = SDL_GetError();
        return nullptr;
    }
    output->m_subsystem = true;
    const char* driverName = SDL_GetCurrentAudioDriver();
    const bool silent =
        !driverName || std::strcmp(driverName, "dummy") == 0 || std::strcmp(driverName, "disk") == 0;
    if (silent && !acceptSilentDrivers) {
        error = std::string("the audio driver '") + (driverName ? driverName : "") + "' plays nothing";
        return nullptr;
    }
    const char* deviceName = nullptr;
    if (driver > 0) {
        deviceName = SDL_GetAudioDeviceName(driver, 0);
        if (!deviceName) {
            error = "there is no audio device " + std::to_string(driver);
            return nullptr;
        }
    }

    SDL_AudioSpec wanted{};
    wanted.freq = kWantedRate;
    wanted.format = AUDIO_F32SYS;
    wanted.channels = 2;
    wanted.samples = kWantedBufferFrames;
    wanted.callback = &DeviceOutput::Callback;
    wanted.userdata = output.get();
    SDL_AudioSpec obtained{};
    output->m_device =
        SDL_OpenAudioDevice(deviceName, 0, &wanted, &obtained, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
    if (output->m_device == 0) {
        error = SDL_GetError();
        return nullptr;
    }
    output->m_rate = obtained.freq;
    output->m_bufferFrames = obtained.samples;
    SDL_PauseAudioDevice(output->m_device, 0);
    return output;
}

DeviceOutput::~DeviceOutput() {
    Close();
    if (m_subsystem) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void DeviceOutput::Close() {
    // SDL waits for a running callback, which may be waiting for the mixer's lock: never hold it here.
    if (m_device != 0) SDL_CloseAudioDevice(m_device);
    m_device = 0;
}

double DeviceOutput::Seconds(SoundClock::time_point time) const {
    return std::chrono::duration<double>(time - m_epoch).count();
}

void SDLCALL DeviceOutput::Callback(void* user, Uint8* stream, int length) {
    auto* self = static_cast<DeviceOutput*>(user);
    const int frames = length / static_cast<int>(2 * sizeof(float));
    std::lock_guard guard(self->m_lock);
    const double now = self->Seconds(SoundClock::now());
    self->m_offsets.emplace_back(now, static_cast<double>(self->m_handed) - now * self->m_rate);
    while (self->m_offsets.size() > 1 && self->m_offsets.front().first < now - kOffsetWindowSeconds) {
        self->m_offsets.pop_front();
    }
    self->m_renderer(reinterpret_cast<float*>(stream), frames, self->m_handed);
    self->m_handed += frames;
}

int64_t DeviceOutput::HeardFrame(SoundClock::time_point now) {
    if (m_offsets.empty()) return m_lastHeard;
    double offset = m_offsets.front().second;
    for (const auto& entry : m_offsets) offset = std::max(offset, entry.second);
    // When the callback comes, the device still holds about one buffer to play before the frames it is
    // handed now.
    const double estimate = offset + Seconds(now) * m_rate - m_bufferFrames;
    int64_t heard = static_cast<int64_t>(std::floor(estimate));
    heard = std::min(heard, m_handed);
    heard = std::max(heard, m_lastHeard);
    m_lastHeard = heard;
    return heard;
}

}  // namespace Platform
