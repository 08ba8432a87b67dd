// Where mixed samples go: the sound device, or a silent output that consumes them in real time. Both
// tell which frame of their stream is being heard, which is what the show is locked to.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace Platform {

using SoundClock = std::chrono::steady_clock;

/// Fills `frames` interleaved stereo float frames at `out`; `streamFrame` is the index of the first of
/// them in the output's stream. Called with the mixer's lock held.
using SoundRenderer = std::function<void(float* out, int frames, int64_t streamFrame)>;

class SoundOutput {
public:
    virtual ~SoundOutput() = default;

    /// Frames per second of the stream.
    virtual int Rate() const = 0;
    /// A short name for logs and tests ("device" or "silent").
    virtual const char* Name() const = 0;
    /// Index of the stream frame heard at `now` (negative before the first is heard); never decreases.
    /// Called with the mixer's lock held.
    virtual int64_t HeardFrame(SoundClock::time_point now) = 0;
    /// Stops asking for samples: the renderer is not called again. Called without the mixer's lock.
    virtual void Close() = 0;
};

}  // namespace Platform
