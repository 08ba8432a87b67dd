// A rain of small cubes tumbling through the air and bumping into each other, with one big textured
// cube shot up through them again and again. The rigid-body simulation runs for a fixed number of
// frames from when the effect loads, on a thread of its own so that the rest of the show loads and
// starts meanwhile; every visible cube's transform is recorded per frame, and at show time a
// keyframed "frame" picks the recording to show, so the rain can be played at any speed, frozen,
// reversed or scrubbed, and is the same on every run. Whatever reads the recording waits for it; an
// effect destroyed before its recording is complete stops the simulation instead of finishing it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <future>
#include <memory>
#include <span>
#include <vector>

#include "effects/effect.h"
#include "graphics/cubeRenderer.h"

class Texture;

namespace Effects {

class CubePhysics : public Effect {
public:
    /// The most small cubes one effect simulates.
    static constexpr int kMaxCubes = 2000;
    /// The most frames one effect records (over half an hour at 60 frames a second).
    static constexpr int kMaxFrames = 120000;
    /// The most memory one load's recorded cubes may take (1 GiB): room for each frame's small cubes
    /// and its big cube. A two-minute rain of 300 cubes at 60 frames a second takes about a quarter.
    static constexpr int64_t kMaxRecordedBytes = int64_t(1) << 30;

    /// Where one recorded frame lies in the recording: its small cubes, in body order, then the
    /// big cube if it is shown.
    struct Frame {
        uint32_t first = 0;
        uint32_t smallCount = 0;
        uint32_t bigCount = 0;
    };

    /// The frames a load of `numCubes` small cubes records when asked for `numFrames`: as many as
    /// fit in kMaxRecordedBytes of cube records.
    static int FramesWithinBudget(int numCubes, int numFrames);

    CubePhysics();
    ~CubePhysics() override;

    /// Reads the load parameters, creates the texture and both renderers (the big one untextured
    /// while there is no picture) and starts the simulation's recording; only a failing base load
    /// fails it.
    bool Load(const pugi::xml_node& node) override;
    /// Draws the recorded frame that "frame" picks (wrapping round the recording); nothing for a
    /// frame without small cubes.
    void Render(double localTime, RenderTexturePair* target) override;

    /// Number of frames recorded.
    size_t GetFrameCount() const {
        AwaitRecording();
        return m_frames.size();
    }
    /// The small cubes shown in a recorded frame, in body order.
    std::span<const CubeInstance> SmallCubes(size_t frame) const;
    /// The big cube of a recorded frame: none or one.
    std::span<const CubeInstance> BigCube(size_t frame) const;
    /// The recorded frame "frame" picks at `localTime`: truncated, taken as unsigned, modulo the
    /// number of frames; 0 when nothing was recorded.
    size_t FrameAt(double localTime) const;
    /// Bytes of memory the recording holds.
    size_t GetRecordedBytes() const;

    const CubeRenderer* GetSmallRenderer() const { return m_small.get(); }
    const CubeRenderer* GetBigRenderer() const { return m_big.get(); }

private:
    struct Settings;
    Settings ReadSettings() const;
    void Record(const Settings& settings);
    /// Waits until the recording started by Load is complete.
    void AwaitRecording() const;

    std::unique_ptr<CubeRenderer> m_small;
    std::unique_ptr<CubeRenderer> m_big;
    std::unique_ptr<Texture> m_texture;
    std::vector<Frame> m_frames;
    std::vector<CubeInstance> m_cubes;
    // Set by the destructor: the recording in progress stops at its next frame, nobody will read it.
    std::atomic<bool> m_abandoned{false};
    // Last, so that it is waited for before the recording it fills goes.
    mutable std::future<void> m_recording;
};

}  // namespace Effects
