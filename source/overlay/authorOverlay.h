// The author's overlay over the playing show in the window: where the show is, what its frames cost,
// the effect timeline and the problems the log reported, drawn with an immediate-mode user interface
// onto the window only, so that screenshots, captures and stills show the show alone. With transport
// mode it also pauses, steps, restarts and seeks the show, through the same calls as the keys.
#pragma once

#include <chrono>
#include <memory>

#include "overlay/clockReading.h"
#include "overlay/frameTimes.h"
#include "overlay/problemList.h"
#include "overlay/timelineModel.h"

namespace Effects {
class EffectsManager;
}
namespace Platform {
class Window;
}
struct ImGuiContext;

namespace Overlay {

class AuthorOverlay {
public:
    /// Sets up the interface on `window` and the window's device, for the show `manager` runs.
    AuthorOverlay(Platform::Window& window, Effects::EffectsManager& manager, bool transport);
    /// Releases the interface and its device objects, and unhooks from the window and the swap chain.
    ~AuthorOverlay();
    AuthorOverlay(const AuthorOverlay&) = delete;
    AuthorOverlay& operator=(const AuthorOverlay&) = delete;

    /// Once per frame after the show's frame: reads the show's state and, when `shown`, builds the
    /// overlay's picture (drawn when the frame is presented) and acts on its buttons and clicks.
    /// Hidden, it does nothing at all.
    void Frame(bool shown);

    /// The models as the last shown frame left them.
    const ClockReading& Clock() const { return m_clock; }
    const FrameTimes& Frames() const { return m_frames; }
    const TimelineModel& Timeline() const { return m_timeline; }
    const ProblemList& Problems() const { return m_problems; }
    /// The span of show time the timeline shows, left to right.
    double TimelineBegin() const { return m_spanBegin; }
    double TimelineEnd() const { return m_spanEnd; }

private:
    void ReadShow();
    void Build();
    void DrawTime();
    void DrawFrameTimes();
    void DrawTransport();
    void DrawTimeline();
    void DrawProblems();
    void Present(int width, int height);
    void ShowCursor(bool shown);

    Platform::Window& m_window;
    Effects::EffectsManager& m_manager;
    bool m_transport;
    ImGuiContext* m_context = nullptr;
    bool m_shown = false;
    bool m_prepared = false;
    std::chrono::steady_clock::time_point m_lastFrame;

    ClockReading m_clock;
    FrameTimes m_frames;
    TimelineModel m_timeline;
    ProblemList m_problems;
    double m_spanBegin = 0.0;
    double m_spanEnd = 1.0;
};

}  // namespace Overlay
