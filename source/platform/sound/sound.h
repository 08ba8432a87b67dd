// A piece of music, ready to be played by any number of channels, each decoding it as it plays.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/sound/soundResult.h"

namespace Platform {

class Mixer;
struct SoundSource;

class Sound {
public:
    /// Releases the sound: every playback of it stops.
    ~Sound();
    Sound(const Sound&) = delete;
    Sound& operator=(const Sound&) = delete;

    /// Length of the sound in milliseconds.
    SoundResult GetLength(uint32_t& milliseconds) const;
    /// Length of the sound in frames of the output's rate: the file's claim until a playback has
    /// decoded it to its end, exact from then on.
    int64_t GetFrames() const;

private:
    friend class SoundSystem;
    Sound(std::shared_ptr<Mixer> mixer, std::shared_ptr<SoundSource> source);

    std::shared_ptr<Mixer> m_mixer;
    std::shared_ptr<SoundSource> m_source;
};

}  // namespace Platform
