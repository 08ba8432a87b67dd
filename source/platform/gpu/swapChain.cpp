#include "platform/gpu/swapChain.h"

#include <SDL.h>

#include <thread>

#include "platform/gpu/deviceCore.h"
#include "platform/gpu/formats.h"
#include "system/log.h"

namespace Gpu {

SwapChain::SwapChain(std::shared_ptr<Detail::DeviceCore> core) : m_core(std::move(core)) {
    m_core->Use();
    glCreateFramebuffers(1, &m_readFramebuffer);
}

SwapChain::~SwapChain() {
    m_readbacks.reset();
    m_core->Use();
    glDeleteFramebuffers(1, &m_readFramebuffer);
    m_core->NoteDeletion();
}

bool SwapChain::CreateBackBuffer(uint32_t width, uint32_t height, Format format) {
    Texture2DDesc desc;
    desc.Width = width;
    desc.Height = height;
    desc.Format = format;
    desc.BindFlags = BIND_RENDER_TARGET | BIND_SHADER_RESOURCE;
    auto texture = std::shared_ptr<Texture2D>(new Texture2D(m_core, desc));
    if (!texture->Create(GL_TEXTURE_2D, width, height, 1, 1, format, desc.Usage, desc.BindFlags, 0, nullptr))
        return false;
    m_backBuffer = std::move(texture);
    return true;
}

Texture2DPtr SwapChain::GetBuffer(uint32_t index) const {
    return index == 0 ? m_backBuffer : nullptr;
}

uint32_t SwapChain::Width() const {
    return m_backBuffer ? m_backBuffer->Width() : 0;
}
uint32_t SwapChain::Height() const {
    return m_backBuffer ? m_backBuffer->Height() : 0;
}

bool SwapChain::Present(uint32_t syncInterval, uint32_t) {
    m_core->Use();
    ++m_core->counters.presents;
    m_core->PollLoopBudget();
    SDL_Window* window = m_core->Context().Window();
    if (!window || !m_backBuffer) {
        glFlush();
        return true;
    }
    int drawableWidth = 0, drawableHeight = 0;
    SDL_GL_GetDrawableSize(window, &drawableWidth, &drawableHeight);
    const GLint width = static_cast<GLint>(m_backBuffer->Width());
    const GLint height = static_cast<GLint>(m_backBuffer->Height());
    glNamedFramebufferTexture(m_readFramebuffer, GL_COLOR_ATTACHMENT0, m_backBuffer->m_name, 0);
    glNamedFramebufferReadBuffer(m_readFramebuffer, GL_COLOR_ATTACHMENT0);
    const bool scissor = glIsEnabled(GL_SCISSOR_TEST);
    if (scissor) glDisable(GL_SCISSOR_TEST);
    // Row 0 of the back buffer is the top of the picture; the window's row 0 is its bottom.
    glBlitNamedFramebuffer(m_readFramebuffer, 0, 0, 0, width, height, 0, drawableHeight, drawableWidth, 0,
                           GL_COLOR_BUFFER_BIT,
                           (width == drawableWidth && height == drawableHeight) ? GL_NEAREST : GL_LINEAR);
    if (scissor) glEnable(GL_SCISSOR_TEST);
    glNamedFramebufferTexture(m_readFramebuffer, GL_COLOR_ATTACHMENT0, 0, 0);
    if (m_windowOverlay) {
        GLint drawFramebuffer = 0;
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFramebuffer);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        m_windowOverlay(drawableWidth, drawableHeight);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(drawFramebuffer));
    }
    if (static_cast<int>(syncInterval) != m_interval) {
        m_interval = static_cast<int>(syncInterval);
        m_driverPaces = m_core->Context().SetSwapInterval(syncInterval > 0 ? 1 : 0) && syncInterval > 0;
        m_measuredFrames = 0;
        m_lastPresent = std::chrono::steady_clock::now();
    }
    m_core->Context().Swap();
    if (syncInterval > 0) Pace(syncInterval);
    return true;
}

// Some servers (a virtual frame buffer, for one) accept a swap interval and then ignore it; the
// first frames tell, and from then on the frames are paced here to the display's refresh rate.
void SwapChain::Pace(uint32_t syncInterval) {
    using Clock = std::chrono::steady_clock;
    SDL_Window* window = m_core->Context().Window();
    SDL_DisplayMode mode{};
    int refresh = 60;
    if (SDL_GetCurrentDisplayMode(std::max(SDL_GetWindowDisplayIndex(window), 0), &mode) == 0 &&
        mode.refresh_rate > 0) {
        refresh = mode.refresh_rate;
    }
    const auto period =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / refresh)) *
        static_cast<int>(syncInterval);
    const Clock::time_point now = Clock::now();
    if (m_driverPaces) {
        constexpr int kProbeFrames = 30;
        if (m_measuredFrames == 0) m_measureStart = now;
        if (++m_measuredFrames == kProbeFrames) {
            if (now - m_measureStart < period * (kProbeFrames - 1) / 2) {
                VLOG("Gpu::SwapChain::Present", "Vertical sync is not honoured; pacing frames to %d Hz",
                     refresh);
                m_driverPaces = false;
            }
        }
        m_lastPresent = now;
        return;
    }
    const Clock::time_point deadline = m_lastPresent + period;
    if (now < deadline) {
        std::this_thread::sleep_until(deadline);
        m_lastPresent = deadline;
    } else {
        m_lastPresent = now;
    }
}

bool SwapChain::ResizeBuffers(uint32_t, uint32_t width, uint32_t height, Format format, uint32_t) {
    m_core->Use();
    SDL_Window* window = m_core->Context().Window();
    if ((width == 0 || height == 0) && window) {
        int w = 0, h = 0;
        SDL_GL_GetDrawableSize(window, &w, &h);
        if (width == 0) width = static_cast<uint32_t>(std::max(w, 1));
        if (height == 0) height = static_cast<uint32_t>(std::max(h, 1));
    }
    if (width == 0) width = Width();
    if (height == 0) height = Height();
    if (format == Format::UNKNOWN) format = m_backBuffer ? m_backBuffer->GetFormat() : Format::R8G8B8A8_UNORM;
    if (m_backBuffer && width == Width() && height == Height() && format == m_backBuffer->GetFormat())
        return true;
    if (!CreateBackBuffer(width, height, format)) {
        VLOG("Gpu::SwapChain::ResizeBuffers", "Cannot make a %ux%u back buffer", width, height);
        return false;
    }
    return true;
}

bool SwapChain::SetFullscreenState(bool fullscreen) {
    SDL_Window* window = m_core->Context().Window();
    if (window && SDL_SetWindowFullscreen(window, fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0) {
        VLOG("Gpu::SwapChain::SetFullscreenState", "Cannot switch full-screen %s: %s",
             fullscreen ? "on" : "off", SDL_GetError());
        return false;
    }
    m_fullscreen = fullscreen;
    return true;
}

bool SwapChain::ReadBackBuffer(std::vector<uint8_t>& rgba, uint32_t& width, uint32_t& height) {
    if (!m_backBuffer) return false;
    m_core->Use();
    width = m_backBuffer->Width();
    height = m_backBuffer->Height();
    rgba.resize(size_t(width) * height * 4);
    glGetTextureImage(m_backBuffer->m_name, 0, GL_RGBA, GL_UNSIGNED_BYTE, static_cast<GLsizei>(rgba.size()),
                      rgba.data());
    return true;
}

bool SwapChain::StartReadBack(uint32_t slot) {
    if (!m_backBuffer) return false;
    if (!m_readbacks) m_readbacks = std::make_unique<Detail::ReadbackSlots>(m_core);
    return m_readbacks->Start(slot, m_backBuffer->m_name, m_backBuffer->Width(), m_backBuffer->Height());
}

const uint8_t* SwapChain::FinishReadBack(uint32_t slot, uint32_t& width, uint32_t& height) {
    return m_readbacks ? m_readbacks->Finish(slot, width, height) : nullptr;
}

}  // namespace Gpu
