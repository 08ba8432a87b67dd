// The output used when there is no sound device (or tests ask for it): samples are consumed at the
// stream's rate by the monotonic clock, so playback positions advance exactly as on a device.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/sound/soundOutput.h"

namespace Platform {

class SilentOutput final : public SoundOutput {
public:
    /// Starts consuming at `rate` frames per second; `lock` is the mixer's lock taken around rendering.
    SilentOutput(int rate, std::mutex& lock, SoundRenderer renderer);
    ~SilentOutput() override;
    SilentOutput(const SilentOutput&) = delete;
    SilentOutput& operator=(const SilentOutput&) = delete;

    int Rate() const override { return m_rate; }
    const char* Name() const override { return "silent"; }
    int64_t HeardFrame(SoundClock::time_point now) override;
    void Close() override;

private:
    int64_t FrameAt(SoundClock::time_point now) const;
    void RenderUpTo(int64_t frame);
    void Run();

    int m_rate;
    std::mutex& m_lock;
    SoundRenderer m_renderer;
    SoundClock::time_point m_start;
    int64_t m_rendered = 0;
    int64_t m_lastHeard = -1;
    bool m_closed = false;
    std::vector<float> m_scratch;

    std::mutex m_stopLock;
    std::condition_variable m_stopSignal;
    bool m_stop = false;
    std::thread m_thread;
};

}  // namespace Platform
