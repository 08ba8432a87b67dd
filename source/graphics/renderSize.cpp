#include "graphics/renderSize.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "graphics/sharedGraphics.h"
#include "graphics/supersampler.h"
#include "system/log.h"

namespace {

constexpr char kFunction[] = "SetRenderSize";

}  // namespace

PictureRect FitPicture(int width, int height) {
    const double scale = std::min(width / double(kShowWidth), height / double(kShowHeight));
    PictureRect rect;
    rect.width = std::clamp(int(std::lround(kShowWidth * scale)), 1, std::max(width, 1));
    rect.height = std::clamp(int(std::lround(kShowHeight * scale)), 1, std::max(height, 1));
    rect.x = (width - rect.width) / 2;
    rect.y = (height - rect.height) / 2;
    return rect;
}

bool SetRenderSize(int pictureWidth, int pictureHeight, int supersample) {
    assert(pictureWidth > 0 && pictureHeight > 0 && supersample >= 1);
    SharedGraphics& g = g_graphics;
    g.supersample = supersample;
    g.renderWidth = pictureWidth * supersample;
    g.renderHeight = pictureHeight * supersample;
    g.renderScale = g.renderHeight / double(kShowHeight);
    // Its target has the old size.
    g.supersampler.reset();
    if (!g.device) return true;

    if (g.context) g.context->OMSetRenderTargets(nullptr, nullptr);
    g.depthView.reset();
    Gpu::Texture2DDesc depthDesc;
    depthDesc.Width = uint32_t(g.renderWidth);
    depthDesc.Height = uint32_t(g.renderHeight);
    depthDesc.Format = Gpu::Format::D24_UNORM_S8_UINT;
    depthDesc.BindFlags = Gpu::BIND_DEPTH_STENCIL;
    g.depthTexture = g.device->CreateTexture2D(depthDesc);
    Gpu::DepthStencilViewDesc viewDesc;
    viewDesc.Format = Gpu::Format::D24_UNORM_S8_UINT;
    viewDesc.ViewDimension = Gpu::DsvDimension::TEXTURE2D;
    if (g.depthTexture) g.depthView = g.device->CreateDepthStencilView(g.depthTexture, &viewDesc);
    if (!g.depthView) {
        VLOG(kFunction, "The device cannot make a %dx%d depth buffer; choose a smaller size", g.renderWidth,
             g.renderHeight);
        return false;
    }
    return true;
}

Gpu::Viewport RenderViewport() {
    return {0.0f, 0.0f, float(g_graphics.renderWidth), float(g_graphics.renderHeight), 0.0f, 1.0f};
}

Gpu::Viewport PictureViewport() {
    const SharedGraphics& g = g_graphics;
    if (g.fitPicture) {
        const PictureRect rect = FitPicture(g.windowWidth, g.windowHeight);
        return {float(rect.x), float(rect.y), float(rect.width), float(rect.height), 0.0f, 1.0f};
    }
    // A 4:3 picture as high as the window, centred; a narrower window crops it at the sides.
    const float height = static_cast<float>(g.windowHeight);
    const float width = height * 1.3333334f;
    return {(static_cast<float>(g.windowWidth) - width) * 0.5f, 0.0f, width, height, 0.0f, 1.0f};
}

void BeginFinalPass() {
    SharedGraphics& g = g_graphics;
    constexpr float kBlack[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    if (g.fitPicture && g.backBufferView) g.context->ClearRenderTargetView(g.backBufferView, kBlack);
    if (g.supersample > 1) {
        if (!g.supersampler) g.supersampler = std::make_shared<Supersampler>(g.renderWidth, g.renderHeight);
        if (g.supersampler->IsReady()) {
            // The final pass meets the same black the back buffer would show under it.
            g.context->ClearRenderTargetView(g.supersampler->Target(), kBlack);
            const Gpu::Viewport viewport = RenderViewport();
            g.context->RSSetViewports(1, &viewport);
            g.context->OMSetRenderTargets(g.supersampler->Target(), nullptr);
            return;
        }
    }
    const Gpu::Viewport viewport = PictureViewport();
    g.context->RSSetViewports(1, &viewport);
    g.context->OMSetRenderTargets(g.backBufferView, nullptr);
}

void EndFinalPass() {
    SharedGraphics& g = g_graphics;
    if (g.supersample <= 1 || !g.supersampler || !g.supersampler->IsReady()) return;
    g.supersampler->Resolve(g.backBufferView, PictureViewport());
}
