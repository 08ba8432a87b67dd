#include "platform/gpu/glContext.h"

#include <SDL.h>
#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <cstring>
#include <future>
#include <mutex>
#include <optional>
#include <vector>

#include "system/log.h"

// Sections: current-context bookkeeping | EGL (headless) | SDL (window)

namespace Gpu::Detail {

// ---------------------------------------------------------------------------------------------------
// Current-context bookkeeping: every entry point of the layer calls Use(), so switching is only paid
// when a program really holds two devices.

namespace {
thread_local GlContext* t_current = nullptr;
}

bool GlContext::Use() {
    if (t_current == this) return true;
    if (!MakeCurrent()) return false;
    t_current = this;
    return true;
}

void GlContext::ForgetCurrent() {
    if (t_current == this) t_current = nullptr;
}

namespace {

// ---------------------------------------------------------------------------------------------------
// EGL (headless)

class EglContext final : public GlContext {
public:
    EglContext(EGLDisplay display, EGLContext context) : m_display(display), m_context(context) {}
    ~EglContext() override {
        eglMakeCurrent(m_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        ForgetCurrent();
        eglDestroyContext(m_display, m_context);
        // The display stays initialised: EGL counts nothing, and another device may use it.
    }

protected:
    bool MakeCurrent() override {
        return eglMakeCurrent(m_display, EGL_NO_SURFACE, EGL_NO_SURFACE, m_context) == EGL_TRUE;
    }

private:
    EGLDisplay m_display;
    EGLContext m_context;
};

bool HasExtension(const char* list, const char* name) {
    if (!list) return false;
    const size_t length = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += length) {
        const bool startOk = p == list || p[-1] == ' ';
        const bool endOk = p[length] == ' ' || p[length] == '\0';
        if (startOk && endOk) return true;
    }
    return false;
}

// Candidate displays in order of preference: a hardware device first (a driver without Mesa's
// surfaceless platform would otherwise leave us on the software rasterizer), then Mesa's surfaceless
// platform, then software devices. eglGetPlatformDisplay (the core 1.5 entry) aborts inside this
// Mesa when reached through libepoxy, so only the EXT entry is used.
std::vector<EGLDisplay> CandidateDisplays() {
    std::vector<EGLDisplay> displays, softwareDevices;
    const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (HasExtension(clientExtensions, "EGL_EXT_platform_base")) {
        if (HasExtension(clientExtensions, "EGL_EXT_platform_device") &&
            HasExtension(clientExtensions, "EGL_EXT_device_enumeration") &&
            HasExtension(clientExtensions, "EGL_EXT_device_query")) {
            EGLDeviceEXT devices[8];
            EGLint count = 0;
            if (eglQueryDevicesEXT(8, devices, &count)) {
                for (EGLint i = 0; i < count; ++i) {
                    EGLDisplay display =
                        eglGetPlatformDisplayEXT(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr);
                    if (display == EGL_NO_DISPLAY) continue;
                    const char* deviceExtensions = eglQueryDeviceStringEXT(devices[i], EGL_EXTENSIONS);
                    const bool software = HasExtension(deviceExtensions, "EGL_MESA_device_software");
                    (software ? softwareDevices : displays).push_back(display);
                }
            }
        }
        if (HasExtension(clientExtensions, "EGL_MESA_platform_surfaceless")) {
            EGLDisplay display =
                eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
            if (display != EGL_NO_DISPLAY) displays.push_back(display);
        }
    }
    displays.insert(displays.end(), softwareDevices.begin(), softwareDevices.end());
    EGLDisplay display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (display != EGL_NO_DISPLAY) displays.push_back(display);
    return displays;
}

EGLContext CreateEglContext(EGLDisplay display) {
    if (!eglBindAPI(EGL_OPENGL_API)) return EGL_NO_CONTEXT;
    const char* extensions = eglQueryString(display, EGL_EXTENSIONS);
    if (!HasExtension(extensions, "EGL_KHR_surfaceless_context")) return EGL_NO_CONTEXT;
    EGLConfig config = EGL_NO_CONFIG_KHR;
    if (!HasExtension(extensions, "EGL_KHR_no_config_context") &&
        !HasExtension(extensions, "EGL_MESA_configless_context")) {
        const EGLint configAttributes[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
        EGLint count = 0;
        if (!eglChooseConfig(display, configAttributes, &config, 1, &count) || count < 1) {
            return EGL_NO_CONTEXT;
        }
    }
    const EGLint contextAttributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                        4,
                                        EGL_CONTEXT_MINOR_VERSION,
                                        5,
                                        EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                        EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                        EGL_NONE};
    return eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttributes);
}

// ---------------------------------------------------------------------------------------------------
// SDL (window)

class SdlContext final : public GlContext {
public:
    SdlContext(SDL_Window* window, SDL_GLContext context) : m_window(window), m_context(context) {}
    ~SdlContext() override {
        ForgetCurrent();
        SDL_GL_DeleteContext(m_context);
    }
    SDL_Window* Window() const override { return m_window; }
    void Swap() override { SDL_GL_SwapWindow(m_window); }
    bool SetSwapInterval(int interval) override { return Use() && SDL_GL_SetSwapInterval(interval) == 0; }

protected:
    bool MakeCurrent() override {
        // SDL skips the switch when it believes its context is still current, which it is not after
        // another device (a headless one, say) took the thread: make it forget first.
        if (SDL_GL_GetCurrentContext() == m_context) SDL_GL_MakeCurrent(m_window, nullptr);
        return SDL_GL_MakeCurrent(m_window, m_context) == 0;
    }

private:
    SDL_Window* m_window;
    SDL_GLContext m_context;
};

}  // namespace

namespace {

// A headless context made on one thread and not current anywhere, ready to be taken by another.
struct MadeContext {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    size_t candidate = 0;        ///< the place of its display among the candidates
    EGLint error = EGL_SUCCESS;  ///< why there is none, as the making thread saw it
};

// The first candidate display from `first` on that initialises and gives a context, which has been
// current on this thread once (the driver finishes setting up there) and is released again.
MadeContext MakeContext(size_t first) {
    const std::vector<EGLDisplay> displays = CandidateDisplays();
    for (size_t i = first; i < displays.size(); ++i) {
        EGLint major = 0, minor = 0;
        if (!eglInitialize(displays[i], &major, &minor)) continue;
        EGLContext context = CreateEglContext(displays[i]);
        if (context == EGL_NO_CONTEXT) continue;
        if (eglMakeCurrent(displays[i], EGL_NO_SURFACE, EGL_NO_SURFACE, context) != EGL_TRUE) {
            eglDestroyContext(displays[i], context);
            continue;
        }
        eglMakeCurrent(displays[i], EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        return {displays[i], context, i, EGL_SUCCESS};
    }
    return {EGL_NO_DISPLAY, EGL_NO_CONTEXT, 0, eglGetError()};
}

// The context being made ahead; its future's destructor waits for the worker, so that a run that ends
// before taking it never leaves the thread behind.
std::mutex g_preparedMutex;
std::optional<std::future<MadeContext>> g_prepared;

}  // namespace

void PrepareHeadlessGlContext() {
    const std::lock_guard lock(g_preparedMutex);
    if (!g_prepared) g_prepared = std::async(std::launch::async, MakeContext, size_t(0));
}

std::unique_ptr<GlContext> CreateHeadlessGlContext() {
    std::optional<std::future<MadeContext>> prepared;
    {
        const std::lock_guard lock(g_preparedMutex);
        prepared.swap(g_prepared);
    }
    size_t next = 0;
    EGLint error = EGL_SUCCESS;
    while (true) {
        const MadeContext made = prepared ? prepared->get() : MakeContext(next);
        prepared.reset();
        if (made.context == EGL_NO_CONTEXT) {
            error = made.error;
            break;
        }
        auto result = std::make_unique<EglContext>(made.display, made.context);
        if (result->Use()) return result;
        next = made.candidate + 1;  // the context is let go with `result`; the next display is tried
    }
    VLOG("Gpu::CreateHeadlessDevice",
         "No EGL display offers a headless OpenGL 4.5 core context (EGL error 0x%x)",
         static_cast<unsigned>(error));
    return nullptr;
}

std::unique_ptr<GlContext> CreateWindowGlContext(SDL_Window* window) {
    if (!window) {
        VLOG("Gpu::CreateWindowDevice", "No window to create the OpenGL context on");
        return nullptr;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 5);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (!context) {
        VLOG("Gpu::CreateWindowDevice", "Failed to create an OpenGL 4.5 core context: %s", SDL_GetError());
        return nullptr;
    }
    auto result = std::make_unique<SdlContext>(window, context);
    if (!result->Use()) {
        VLOG("Gpu::CreateWindowDevice", "Failed to make the OpenGL context current: %s", SDL_GetError());
        return nullptr;
    }
    return result;
}

}  // namespace Gpu::Detail
