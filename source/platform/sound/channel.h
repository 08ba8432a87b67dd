// A handle on one playback of a sound. An empty handle (never played, or cleared) is valid to use:
// its operations do nothing and its reads report position 0, not paused and no current sound.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/sound/soundResult.h"

namespace Platform {

class Mixer;
class Sound;
struct Playback;

class Channel {
public:
    Channel() = default;

    /// Whether the playback is paused (false when there is none).
    SoundResult GetPaused(bool& paused) const;
    /// Pauses or resumes the playback where it is.
    SoundResult SetPaused(bool paused);
    /// The position heard now, in milliseconds; the end of the sound once it has finished.
    SoundResult GetPosition(uint32_t& milliseconds) const;
    /// Moves the playback; a position at or past the end is refused and changes nothing.
    SoundResult SetPosition(uint32_t milliseconds);
    /// The sound being played, or null once the playback has finished or been stopped.
    SoundResult GetCurrentSound(const Sound*& sound) const;
    /// Sets the gain of the playback, 0 (silent) to 1 (full).
    SoundResult SetVolume(float volume);
    /// The gain of the playback.
    SoundResult GetVolume(float& volume) const;
    /// Ends the playback; the handle then refers to nothing.
    SoundResult Stop();

private:
    friend class SoundSystem;
    Channel(std::shared_ptr<Mixer> mixer, std::shared_ptr<Playback> playback);

    std::shared_ptr<Mixer> m_mixer;
    std::shared_ptr<Playback> m_playback;
};

}  // namespace Platform
