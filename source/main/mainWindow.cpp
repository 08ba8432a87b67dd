#include "main/mainWindow.h"

#include "main/device.h"
#include "main/screenshot.h"
#include "system/flags.h"
#include "system/log.h"

std::unique_ptr<Platform::Window> g_mainWindow;
bool g_overlayShown = false;

bool CreateMainWindow(int clientWidth, int clientHeight) {
    Platform::WindowDesc desc;
    desc.title = kWindowTitle;
    desc.clientWidth = clientWidth;
    desc.clientHeight = clientHeight;
    desc.alwaysOnTop = true;
    desc.hideCursor = true;
    g_mainWindow = std::make_unique<Platform::Window>(desc, WndProc);
    if (!g_mainWindow->IsOpen()) {
        VLOG("CreateMainWindow", "Failed to create the window: %s", g_mainWindow->Error().c_str());
        g_mainWindow.reset();
        return false;
    }
    return true;
}

namespace {

void OnSize(int width, int height) {
    SharedGraphics& g = g_graphics;
    g.windowWidth = width;
    g.windowHeight = height;
    VLOG("WndProc", "Received WM_SIZE of %dx%d, aspect %0.2f", width, height,
         static_cast<float>(width) / static_cast<float>(height));
    if (!g.swapChain) {
        VLOG("WndProc", "..but had no swapchain!");
        return;
    }
    g.context->OMSetRenderTargets(0, nullptr, nullptr);
    g.backBufferView.reset();
    g.swapChain->ResizeBuffers(0, width, height, Gpu::Format::UNKNOWN, 0);
    Gpu::Texture2DPtr buffer = g.swapChain->GetBuffer(0);
    if (!buffer) {
        VLOG("WndProc", "Failed to get buffer");
        return;
    }
    g.backBufferView = g.device->CreateRenderTargetView(buffer);
    if (!g.backBufferView) VLOG("WndProc", "Failed to create render target view");
}

}  // namespace

void WndProc(const Platform::Message& message) {
    using Platform::Key;
    using Platform::MessageKind;
    switch (message.kind) {
        case MessageKind::Destroy:
            break;
        case MessageKind::Close:
            g_quit = true;
            break;
        case MessageKind::Size:
            OnSize(message.width, message.height);
            break;
        case MessageKind::SetFocus:
            g_graphics.hasFocus = true;
            break;
        case MessageKind::KillFocus:
            g_graphics.hasFocus = false;
            break;
        case MessageKind::KeyDown:
            if (message.key == Key::Escape) g_quit = true;
            if (message.key == Key::F1 && !message.repeat) g_overlayShown = !g_overlayShown;
            if (message.key == Key::F11 && !message.repeat) {
                VLOG("WndProc", "Saving screenshot..");
                SaveSceenshot();
            }
            break;
    }
}
