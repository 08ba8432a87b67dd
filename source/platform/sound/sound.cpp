#include "platform/sound/sound.h"

#include <algorithm>
#include <limits>

#include "platform/sound/mixer.h"

namespace Platform {

Sound::Sound(std::shared_ptr<Mixer> mixer, std::shared_ptr<SoundSource> source)
    : m_mixer(std::move(mixer)), m_source(std::move(source)) {}

Sound::~Sound() {
    std::lock_guard guard(m_mixer->lock);
    for (const auto& playback : m_mixer->playbacks) {
        if (playback->sound != this) continue;
        playback->stopped = true;
        playback->stream.reset();
    }
    m_mixer->Collect();
}

SoundResult Sound::GetLength(uint32_t& milliseconds) const {
    const int64_t ms = m_source->Length() * 1000 / m_source->outputRate;
    milliseconds = static_cast<uint32_t>(std::min<int64_t>(ms, std::numeric_limits<uint32_t>::max()));
    return SoundResult::Ok;
}

int64_t Sound::GetFrames() const {
    return m_source->Length();
}

}  // namespace Platform
