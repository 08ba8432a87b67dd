#include "overlay/frameTimes.h"

#include <algorithm>
#include <cmath>

namespace Overlay {

void FrameTimes::Add(double seconds) {
    // A clock that stepped back, or a value that is not a time, must not poison the mean.
    if (!std::isfinite(seconds) || seconds < 0.0) seconds = 0.0;
    m_seconds[m_next] = seconds;
    m_next = (m_next + 1) % kCapacity;
    m_count = std::min(m_count + 1, kCapacity);
}

double FrameTimes::At(size_t i) const {
    return m_seconds[(m_next + kCapacity - m_count + i) % kCapacity];
}

size_t FrameTimes::CopyMilliseconds(float* out) const {
    for (size_t i = 0; i < m_count; ++i) out[i] = static_cast<float>(At(i) * 1000.0);
    return m_count;
}

namespace {
// Walks the newest frames back until they add up to a second; the newest frame always counts, even
// when it alone took longer.
template <typename Visit>
void LastSecond(const FrameTimes& times, Visit visit) {
    double total = 0.0;
    for (size_t i = times.Count(); i > 0; --i) {
        const double seconds = times.At(i - 1);
        if (i != times.Count() && total + seconds > 1.0) break;
        total += seconds;
        visit(seconds);
    }
}
}  // namespace

double FrameTimes::MeanOfLastSecond() const {
    double total = 0.0;
    int frames = 0;
    LastSecond(*this, [&](double seconds) {
        total += seconds;
        ++frames;
    });
    return frames ? total / frames : 0.0;
}

double FrameTimes::WorstOfLastSecond() const {
    double worst = 0.0;
    LastSecond(*this, [&](double seconds) { worst = std::max(worst, seconds); });
    return worst;
}

}  // namespace Overlay
