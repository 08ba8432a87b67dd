// The state shared by the sound system, its sounds and channels and the output's thread: the
// playbacks, what of each has been handed to the output, and the lock around all of it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/sound/soundDecoder.h"
#include "platform/sound/soundOutput.h"

namespace Platform {

class Sound;

/// One playback of a sound. Guarded by the mixer's lock.
struct Playback {
    /// A stretch of the sound handed to the output: sound frames [soundFrame, soundFrame + count)
    /// went out as stream frames [streamFrame, streamFrame + count).
    struct Span {
        int64_t streamFrame;
        int64_t soundFrame;
        int64_t count;
    };

    std::shared_ptr<const PcmData> pcm;
    const Sound* sound = nullptr;
    bool paused = false;
    bool stopped = false;
    bool finished = false;
    float volume = 1.0f;
    /// Next sound frame to hand to the output.
    int64_t cursor = 0;
    /// Position reported until the first span handed out since the start or the last seek is heard.
    int64_t basePosition = 0;
    /// Spans not yet fully heard (and the last heard one), in stream order.
    std::vector<Span> spans;
};

class Mixer {
public:
    /// Guards everything here and in the playbacks, and the output's clock.
    std::mutex lock;
    /// Set once by the sound system's Init.
    std::unique_ptr<SoundOutput> output;
    std::vector<std::shared_ptr<Playback>> playbacks;
    int maxPlaybacks = 0;

    /// Mixes the playing playbacks into `out` (the output's renderer). Lock held.
    void Render(float* out, int frames, int64_t streamFrame);
    /// The sound frame of `playback` heard now; notices the end of the playback. Lock held.
    int64_t HeardPosition(Playback& playback);
    /// Moves `playback` to `frame`, dropping what was handed out from the old position. Lock held.
    void Seek(Playback& playback, int64_t frame);
    /// Ends `playback` and forgets it. Lock held.
    void Stop(Playback& playback);
    /// Forgets finished and stopped playbacks. Lock held.
    void Collect();
};

}  // namespace Platform
