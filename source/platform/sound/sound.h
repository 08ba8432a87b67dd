// A decoded piece of music, ready to be played by any number of channels.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/sound/soundResult.h"

namespace Platform {

class Mixer;
struct PcmData;

class Sound {
public:
    /// Releases the sound: every playback of it stops.
    ~Sound();
    Sound(const Sound&) = delete;
    Sound& operator=(const Sound&) = delete;

    /// Length of the sound in milliseconds.
    SoundResult GetLength(uint32_t& milliseconds) const;
    /// Length of the sound in frames of the output's rate.
    int64_t GetFrames() const;

private:
    friend class SoundSystem;
    Sound(std::shared_ptr<Mixer> mixer, std::shared_ptr<const PcmData> pcm);

    std::shared_ptr<Mixer> m_mixer;
    std::shared_ptr<const PcmData> m_pcm;
};

}  // namespace Platform
