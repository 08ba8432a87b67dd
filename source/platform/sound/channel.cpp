#include "platform/sound/channel.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/sound/mixer.h"

namespace Platform {

Channel::Channel(std::shared_ptr<Mixer> mixer, std::shared_ptr<Playback> playback)
    : m_mixer(std::move(mixer)), m_playback(std::move(playback)) {}

// Each operation takes the mixer's lock and gives up on a handle that refers to nothing live.
#define LOCK_LIVE_PLAYBACK()                                    \
    if (!m_playback) return SoundResult::InvalidHandle;         \
    std::lock_guard guard(m_mixer->lock);                       \
    if (m_playback->stopped) return SoundResult::InvalidHandle; \
    Playback& p = *m_playback

SoundResult Channel::GetPaused(bool& paused) const {
    paused = false;
    LOCK_LIVE_PLAYBACK();
    paused = p.paused;
    return SoundResult::Ok;
}

SoundResult Channel::SetPaused(bool paused) {
    LOCK_LIVE_PLAYBACK();
    m_mixer->HeardPosition(p);
    if (p.finished) return SoundResult::ChannelEnded;
    p.paused = paused;
    return SoundResult::Ok;
}

SoundResult Channel::GetPosition(uint32_t& milliseconds) const {
    milliseconds = 0;
    LOCK_LIVE_PLAYBACK();
    const int64_t ms = m_mixer->HeardPosition(p) * 1000 / p.rate;
    milliseconds = static_cast<uint32_t>(std::clamp<int64_t>(ms, 0, std::numeric_limits<uint32_t>::max()));
    return SoundResult::Ok;
}

SoundResult Channel::SetPosition(uint32_t milliseconds) {
    LOCK_LIVE_PLAYBACK();
    m_mixer->HeardPosition(p);
    if (p.finished) return SoundResult::ChannelEnded;
    // Rounded up so that reading the position back gives the milliseconds that were set.
    const int64_t frame = (static_cast<int64_t>(milliseconds) * p.rate + 999) / 1000;
    if (frame >= p.Length()) return SoundResult::InvalidPosition;
    m_mixer->Seek(p, frame);
    return SoundResult::Ok;
}

SoundResult Channel::GetCurrentSound(const Sound*& sound) const {
    sound = nullptr;
    LOCK_LIVE_PLAYBACK();
    m_mixer->HeardPosition(p);
    if (!p.finished) sound = p.sound;
    return SoundResult::Ok;
}

SoundResult Channel::SetVolume(float volume) {
    LOCK_LIVE_PLAYBACK();
    if (std::isnan(volume)) return SoundResult::InvalidParam;
    p.volume = std::clamp(volume, 0.0f, 1.0f);
    return SoundResult::Ok;
}

SoundResult Channel::GetVolume(float& volume) const {
    volume = 0.0f;
    LOCK_LIVE_PLAYBACK();
    volume = p.volume;
    return SoundResult::Ok;
}

SoundResult Channel::Stop() {
    LOCK_LIVE_PLAYBACK();
    m_mixer->Stop(p);
    return SoundResult::Ok;
}

#undef LOCK_LIVE_PLAYBACK

}  // namespace Platform
