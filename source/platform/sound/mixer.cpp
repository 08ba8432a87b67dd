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
        if (p.stopped || p.finished || p.paused || !p.stream) continue;
        if (scratch.size() < static_cast<size_t>(frames) * 2) scratch.resize(static_cast<size_t>(frames) * 2);
        // A decoder that has fallen behind gives fewer frames (none at worst): the playback then
        // stands still, heard as a gap, and goes on where it stopped.
        const int64_t n = p.stream->Take(scratch.data(), frames);
        if (n == 0) continue;
        for (int64_t i = 0; i < n * 2; ++i) out[i] += scratch[static_cast<size_t>(i)] * p.volume;

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
    if (p.finished) return p.endFrame;
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
    if (p.stream && p.stream->Drained() && position >= p.stream->EndFrame()) {
        p.finished = true;
        p.endFrame = p.stream->EndFrame();
        p.spans.clear();
        p.stream.reset();
        return p.endFrame;
    }
    return position;
}

void Mixer::Seek(Playback& p, int64_t frame) {
    if (p.stream) p.stream->Seek(frame);
    p.cursor = frame;
    p.basePosition = frame;
    p.spans.clear();
}

void Mixer::Stop(Playback& p) {
    p.stopped = true;
    p.spans.clear();
    p.stream.reset();
    Collect();
}

void Mixer::Collect() {
    std::erase_if(playbacks, [](const std::shared_ptr<Playback>& p) { return p->stopped || p->finished; });
}

}  // namespace Platform
