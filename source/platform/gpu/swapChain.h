// The swap chain: one back buffer, a 2D texture the program draws into, and the window it is shown
// in. A window's default framebuffer has its first row at the bottom, so the back buffer is an
// off-screen texture that Present copies to the window upside down (scaled to the window in
// full-screen). A headless swap chain has the texture and no window.
#pragma once

#include <epoxy/gl.h>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "platform/gpu/gpuTypes.h"
#include "platform/gpu/readbackSlots.h"
#include "platform/gpu/resources.h"

namespace Gpu {

class SwapChain {
public:
    ~SwapChain();
    SwapChain(const SwapChain&) = delete;
    SwapChain& operator=(const SwapChain&) = delete;

    /// The back buffer (index 0; null for any other index). Resizing replaces it.
    Texture2DPtr GetBuffer(uint32_t index) const;
    /// Shows the back buffer; with `syncInterval` 1 waits for the vertical blank, pacing frames to the
    /// display's refresh rate itself where the driver does not honour that.
    bool Present(uint32_t syncInterval, uint32_t flags);
    /// Has Present call `draw` with the window's drawable size after it copied the back buffer into
    /// the window and before it shows it, with the window's own framebuffer bound: what it draws is
    /// seen in the window and never reaches the back buffer (nor a screenshot). Null: nothing.
    void SetWindowOverlay(std::function<void(int width, int height)> draw) {
        m_windowOverlay = std::move(draw);
    }
    /// Gives the back buffer a new size (0: the window's) and format (UNKNOWN: unchanged); the buffer
    /// count is ignored, there is always one.
    bool ResizeBuffers(uint32_t bufferCount, uint32_t width, uint32_t height, Format format, uint32_t flags);
    /// Switches the window to full-screen (desktop resolution) or back; the window's size change
    /// arrives as an ordinary resize event.
    bool SetFullscreenState(bool fullscreen);
    bool GetFullscreenState() const { return m_fullscreen; }
    uint32_t Width() const;
    uint32_t Height() const;
    /// The back buffer as RGBA8, rows top-down.
    bool ReadBackBuffer(std::vector<uint8_t>& rgba, uint32_t& width, uint32_t& height);

    /// How many read-backs may be under way at once (slots 0 to kReadBackSlots - 1).
    static constexpr uint32_t kReadBackSlots = Detail::ReadbackSlots::kSlots;
    /// Starts copying the back buffer out into `slot` and returns without waiting for the copy, so
    /// that the next frame can be drawn meanwhile; the slot's earlier pixels are given up.
    bool StartReadBack(uint32_t slot);
    /// Waits for the copy started into `slot` and gives its pixels as ReadBackBuffer would, without
    /// copying them: valid until the slot is started again, readable from any thread. Once per
    /// start; null when none was started or it failed.
    const uint8_t* FinishReadBack(uint32_t slot, uint32_t& width, uint32_t& height);

private:
    friend struct DeviceFactory;
    explicit SwapChain(std::shared_ptr<Detail::DeviceCore> core);
    bool CreateBackBuffer(uint32_t width, uint32_t height, Format format);
    void Pace(uint32_t syncInterval);

    std::shared_ptr<Detail::DeviceCore> m_core;
    Texture2DPtr m_backBuffer;
    GLuint m_readFramebuffer = 0;
    std::unique_ptr<Detail::ReadbackSlots> m_readbacks;  // made on first use
    bool m_fullscreen = false;
    std::function<void(int width, int height)> m_windowOverlay;
    // Frame pacing where the vertical-blank wait is refused or ignored.
    int m_interval = -1;
    bool m_driverPaces = false;
    int m_measuredFrames = 0;
    std::chrono::steady_clock::time_point m_measureStart;
    std::chrono::steady_clock::time_point m_lastPresent;
};

using SwapChainPtr = std::shared_ptr<SwapChain>;

}  // namespace Gpu
