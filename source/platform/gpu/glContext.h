// The GL context a device draws with: one made headless through EGL, or one on an SDL window.
#pragma once

#include <memory>
#include <string>

struct SDL_Window;

namespace Gpu::Detail {

class GlContext {
public:
    virtual ~GlContext() = default;
    /// Makes this context current on the calling thread unless it already is; false on failure.
    bool Use();
    /// The window the context draws to, or null when headless.
    virtual SDL_Window* Window() const { return nullptr; }
    /// Shows the window's back buffer (nothing when headless).
    virtual void Swap() {}
    /// Asks for presents to wait for the vertical blank (interval 1) or not (0); false when refused.
    virtual bool SetSwapInterval(int) { return false; }

protected:
    virtual bool MakeCurrent() = 0;
    /// Forgets that this context is current (called by destructors of the implementations).
    void ForgetCurrent();
};

/// Starts making the headless context on a worker thread (loading the GL driver is the bulk of a
/// device's creation), so that what the caller does meanwhile overlaps it; the next
/// CreateHeadlessGlContext takes the context made. Calling it again before then does nothing.
void PrepareHeadlessGlContext();

/// A GL 4.5 core context with no window, on Mesa's surfaceless EGL platform (or the device platform
/// or default display when that is missing); null after logging why when none can be made.
std::unique_ptr<GlContext> CreateHeadlessGlContext();

/// A GL 4.5 core context on `window` (created by the caller with SDL_WINDOW_OPENGL); null after logging.
std::unique_ptr<GlContext> CreateWindowGlContext(SDL_Window* window);

}  // namespace Gpu::Detail
