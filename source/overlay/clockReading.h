// Where the show is, as an author counts it: music seconds, show time in beats, bar and beat.
#pragma once

namespace Overlay {

/// Beats in a bar, as authors count the show.
inline constexpr int kBeatsPerBar = 4;

struct ClockReading {
    double musicSeconds = 0.0;
    double showTime = 0.0;  ///< beats of the script's tempo, offset included
    long long bar = 1;      ///< counted from 1 at show time 0
    int beat = 1;           ///< 1 to kBeatsPerBar within the bar
    bool paused = false;

    /// The reading for a frame at `musicSeconds` of music whose show time is `showTime`.
    static ClockReading At(double musicSeconds, double showTime, bool paused);
};

}  // namespace Overlay
