#include "overlay/clockReading.h"

#include <cmath>

namespace Overlay {

ClockReading ClockReading::At(double musicSeconds, double showTime, bool paused) {
    ClockReading reading;
    reading.musicSeconds = musicSeconds;
    reading.showTime = showTime;
    reading.paused = paused;
    if (!std::isfinite(showTime) || std::fabs(showTime) > 1e15) return reading;
    // Before show time 0 (a negative offset) the bars count down through 0 and below, so that a
    // beat keeps its number across the start.
    const double whole = std::floor(showTime);
    const double bar = std::floor(whole / kBeatsPerBar);
    reading.bar = static_cast<long long>(bar) + 1;
    reading.beat = static_cast<int>(whole - bar * kBeatsPerBar) + 1;
    return reading;
}

}  // namespace Overlay
