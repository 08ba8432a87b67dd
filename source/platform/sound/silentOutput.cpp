#include "platform/sound/silentOutput.h"

#include <algorithm>

namespace Platform {

namespace {
// Samples are rendered this far ahead of the clock, as a device buffer would hold them: small, so
// that a pause is heard (and reported) promptly.
constexpr int kLeadFrames = 512;
constexpr auto kPollPeriod = std::chrono::milliseconds(5);
}  // namespace

SilentOutput::SilentOutput(int rate, std::mutex& lock, SoundRenderer renderer)
    : m_rate(rate),
      m_lock(lock),
      m_renderer(std::move(renderer)),
      m_start(SoundClock::now()),
      m_scratch(kLeadFrames * 2) {
    m_thread = std::thread([this] { Run(); });
}

SilentOutput::~SilentOutput() {
    Close();
}

void SilentOutput::Close() {
    {
        std::lock_guard guard(m_stopLock);
        m_stop = true;
    }
    m_stopSignal.notify_all();
    if (m_thread.joinable()) m_thread.join();
    std::lock_guard guard(m_lock);
    m_closed = true;
}

int64_t SilentOutput::FrameAt(SoundClock::time_point now) const {
    const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(now - m_start).count();
    // 128-bit product: a run of days at 192 kHz would overflow nanoseconds times the rate in 64 bits.
    return static_cast<int64_t>(static_cast<__int128>(elapsed) * m_rate / 1000000000);
}

void SilentOutput::RenderUpTo(int64_t frame) {
    if (m_closed) return;
    while (m_rendered < frame) {
        const int n = static_cast<int>(std::min<int64_t>(kLeadFrames, frame - m_rendered));
        m_renderer(m_scratch.data(), n, m_rendered);
        m_rendered += n;
    }
}

int64_t SilentOutput::HeardFrame(SoundClock::time_point now) {
    // A starved render thread must not hold the clock back: catch up here.
    const int64_t frame = std::max(FrameAt(now), m_lastHeard);
    RenderUpTo(frame + kLeadFrames);
    m_lastHeard = frame;
    return frame;
}

void SilentOutput::Run() {
    std::unique_lock stopLock(m_stopLock);
    while (!m_stop) {
        stopLock.unlock();
        {
            std::lock_guard guard(m_lock);
            RenderUpTo(FrameAt(SoundClock::now()) + kLeadFrames);
        }
        stopLock.lock();
        m_stopSignal.wait_for(stopLock, kPollPeriod, [this] { return m_stop; });
    }
}

}  // namespace Platform
