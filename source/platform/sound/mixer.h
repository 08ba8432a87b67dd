// The state shared by the sound system, its sounds and channels and the output's thread: the
// playbacks, what of each has been handed to the output, and the lock around all of it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/sound/musicStream.h"
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

    /// The music as it is decoded; released once the playback has finished or stopped.
    std::unique_ptr<MusicStream> stream;
    /// Frames per second of the output, in which every frame number here counts.
    int rate = 0;
    /// Where a finished playback stands: the end of its music.
    int64_t endFrame = 0;
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

    /// The length of the music in output frames, as far as it is known.
    int64_t Length() const { return stream ? stream->EndFrame() : endFrame; }
};

class Mixer {
public:
    /// Guards everything here and in the playbacks, and the output's clock.
    std::mutex lock;
    /// Set once by the sound system's Init.
    std::unique_ptr<SoundOutput> output;
    std::vector<std::shared_ptr<Playback>> playbacks;
    int maxPlaybacks = 0;
    /// The samples of one playback on their way to the mix; only the output's thread uses it.
    std::vector<float> scratch;

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
