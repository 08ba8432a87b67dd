// The sound device through SDL audio. Its callback comes at the device's pace with some jitter; the
// heard frame is estimated from the frames handed over, the buffer latency and the monotonic clock,
// so that positions advance smoothly between callbacks.
#pragma once

#include <SDL.h>

#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "platform/sound/soundOutput.h"

namespace Platform {

class DeviceOutput final : public SoundOutput {
public:
    /// Opens playback device `driver` (0: the system's default); null with a reason in `error` when
    /// there is no usable device (SDL's dummy and disk drivers do not count as one, unless
    /// `acceptSilentDrivers`: tests drive the callback through them).
    static std::unique_ptr<DeviceOutput> Open(int driver, std::mutex& lock, SoundRenderer renderer,
                                              std::string& error, bool acceptSilentDrivers = false);
    ~DeviceOutput() override;
    DeviceOutput(const DeviceOutput&) = delete;
    DeviceOutput& operator=(const DeviceOutput&) = delete;

    int Rate() const override { return m_rate; }
    const char* Name() const override { return "device"; }
    int64_t HeardFrame(SoundClock::time_point now) override;
    void Close() override;

private:
    DeviceOutput(std::mutex& lock, SoundRenderer renderer);
    static void SDLCALL Callback(void* user, Uint8* stream, int length);
    double Seconds(SoundClock::time_point time) const;

    std::mutex& m_lock;
    SoundRenderer m_renderer;
    SDL_AudioDeviceID m_device = 0;
    bool m_subsystem = false;
    int m_rate = 0;
    int m_bufferFrames = 0;
    int64_t m_handed = 0;
    int64_t m_lastHeard = -1;
    SoundClock::time_point m_epoch;
    /// (callback time in seconds, frames handed minus time × rate) of the recent callbacks. A late
    /// callback lowers this offset; the largest one in the window is the least delayed.
    std::deque<std::pair<double, double>> m_offsets;
};

}  // namespace Platform
