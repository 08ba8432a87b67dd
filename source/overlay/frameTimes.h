// How long the last frames took: a history of a few seconds for the plot, and the mean and the worst
// frame of the last second.
#pragma once

#include <array>
#include <cstddef>

namespace Overlay {

class FrameTimes {
public:
    /// Frames kept for the plot; at 60 Hz a little over four seconds.
    static constexpr size_t kCapacity = 256;

    /// Records one frame that took `seconds`.
    void Add(double seconds);
    /// How many frames are kept (at most kCapacity).
    size_t Count() const { return m_count; }
    /// The i-th kept frame's time in seconds, oldest first.
    double At(size_t i) const;
    /// The kept frame times in milliseconds, oldest first, into `out` (kCapacity floats); their count.
    size_t CopyMilliseconds(float* out) const;
    /// Mean of the frames of the last second (the newest ones adding up to a second at most).
    double MeanOfLastSecond() const;
    /// Longest frame of the last second.
    double WorstOfLastSecond() const;

private:
    std::array<double, kCapacity> m_seconds{};
    size_t m_next = 0;
    size_t m_count = 0;
};

}  // namespace Overlay
