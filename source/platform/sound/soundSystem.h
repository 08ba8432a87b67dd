// The sound system: chooses the output, decodes music into sounds and starts playbacks of them.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "platform/sound/channel.h"
#include "platform/sound/sound.h"
#include "platform/sound/soundResult.h"

namespace Platform {

class Mixer;

enum class SoundOutputType {
    /// The sound device, or the silent output when there is no usable one.
    Autodetect,
    /// Never touch a device: samples are consumed in real time and heard by nobody.
    Silent,
};

class SoundSystem {
public:
    SoundSystem();
    /// Closes the output; channels and sounds that outlive the system refer to nothing.
    ~SoundSystem();
    SoundSystem(const SoundSystem&) = delete;
    SoundSystem& operator=(const SoundSystem&) = delete;

    /// Chooses the kind of output; before Init.
    SoundResult SetOutput(SoundOutputType type);
    /// Chooses the playback device by index (0: the system's default); before Init.
    SoundResult SetDriver(int driver);
    /// Opens the output; at most `maxChannels` playbacks exist at a time (the oldest gives way).
    SoundResult Init(int maxChannels);
    /// Forgets playbacks that have finished; once per frame.
    SoundResult Update();

    /// Makes a sound of a whole file image, which it keeps; only its start is decoded here, the rest
    /// by each playback as it plays.
    SoundResult CreateSound(std::vector<std::byte> bytes, std::unique_ptr<Sound>& sound);
    /// Starts a new playback of `sound` at its beginning, paused or not, and returns its handle.
    SoundResult PlaySound(Sound& sound, bool paused, Channel& channel);

    /// The output in use ("device" or "silent"; "" before Init).
    const char* GetOutputName() const;
    /// Frames per second of the output (0 before Init).
    int GetOutputRate() const;

private:
    std::shared_ptr<Mixer> m_mixer;
    SoundOutputType m_outputType = SoundOutputType::Autodetect;
    int m_driver = 0;
    bool m_initialised = false;
};

}  // namespace Platform
