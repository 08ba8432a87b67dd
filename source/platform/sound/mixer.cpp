#include "platform/sound/mixer.h"

#include <algorithm>

namespace Platform {

namespace {
// Spans only pile up when a playback is paused and resumed many times without anyone asking for
// its position; past this, the oldest are certainly heard.
constexpr size_t kMaxSpans = 256;
}  // namespace

void Mixer::Render(float* out, int frames, int64_t streamFrame) {
    std::fill(out, out + static_cast<size_t>(frames) * 2, 0.0f);
    for (const auto& playback : playbacks) {
        Playback& p = *playback;
        const int64_t length = p.pcm->Frames();
        if (p.stopped || p.finished || p.paused || p.cursor >= length) continue;
        const int64_t n = std::min<int64_t>(frames, length - p.cursor);
        const float* source = p.pcm->samples.data() + p.cursor * 2;
        for (int64_t i = 0; i < n * 2; ++i) out[i] += source[i] * p.volume;

        if (!p.spans.empty()) {
            Playback::Span& last = p.spans.back();
            if (last.streamFrame + last.count == streamFrame && last.soundFrame + last.count == p.cursor) {
                last.count += n;
                p.cursor += n;
                continue;
            }
        }
        if (p.spans.size() >= kMaxSpans) p.spans.erase(p.spans.begin());
        p.spans.push_back({streamFrame, p.cursor, n});
        p.cursor += n;
    }
    for (int64_t i = 0; i < static_cast<int64_t>(frames) * 2; ++i) out[i] = std::clamp(out[i], -1.0f, 1.0f);
}

int64_t Mixer::HeardPosition(Playback& p) {
    const int64_t length = p.pcm->Frames();
    if (p.finished) return length;
    const int64_t heard = output->HeardFrame(SoundClock::now());

    // The last span whose start is heard tells the position; a gap after it (a pause) keeps its end.
    auto next =
        std::upper_bound(p.spans.begin(), p.spans.end(), heard,
                         [](int64_t frame, const Playback::Span& span) { return frame < span.streamFrame; });
    int64_t position = p.basePosition;
    if (next != p.spans.begin()) {
        const Playback::Span& span = *(next - 1);
        position = span.soundFrame + std::clamp<int64_t>(heard - span.streamFrame, 0, span.count);
        p.spans.erase(p.spans.begin(), next - 1);
    }
    if (p.cursor >= length && position >= length) {
        p.finished = true;
        p.spans.clear();
        return length;
    }
    return position;
}

void Mixer::Seek(Playback& p, int64_t frame) {
    p.cursor = frame;
    p.basePosition = frame;
    p.spans.clear();
}

void Mixer::Stop(Playback& p) {
    p.stopped = true;
    p.spans.clear();
    Collect();
}

void Mixer::Collect() {
    std::erase_if(playbacks, [](const std::shared_ptr<Playback>& p) { return p->stopped || p->finished; });
}

}  // namespace Platform
