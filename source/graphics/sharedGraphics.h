// The graphics state every effect and renderer shares: the device, the back buffer, the depth buffer
// of the render size and the pipeline objects bound for the whole run. The program's start-up fills it
// in; everything that draws only reads it, so it lives below its readers.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/gpu/gpu.h"

class Supersampler;

/// Shared graphics state, read by the graphics layer and the effects.
struct SharedGraphics {
    Gpu::DevicePtr device;
    Gpu::ContextPtr context;
    Gpu::SwapChainPtr swapChain;
    Gpu::RenderTargetViewPtr backBufferView;  ///< recreated on resize; null when that failed
    Gpu::Texture2DPtr depthTexture;           ///< the render size, D24S8
    Gpu::DepthStencilViewPtr depthView;
    Gpu::DepthStencilStatePtr depthOffState;
    Gpu::DepthStencilStatePtr depthOnState;
    Gpu::RasterizerStatePtr rasterizerState;
    Gpu::BufferPtr genericVertices;  ///< the quad from -0.5 to 0.5: slot 0, stride 32, strip of 4
    Gpu::BlendStatePtr alphaBlendState;
    Gpu::BlendStatePtr additiveBlendState;
    Gpu::SamplerStatePtr samplers[4];  ///< linear clamp, point clamp, linear wrap, point wrap
    int windowWidth = 800;
    int windowHeight = 600;
    bool hasFocus = false;

    /// The render size: how many pixels the show's logical 800 by 600 canvas has. Render textures,
    /// the depth buffer and the viewport of the effects take renderWidth by renderHeight; shader
    /// constants keep their logical values. renderScale is renderHeight / 600.
    int renderWidth = 800;
    int renderHeight = 600;
    double renderScale = 1.0;
    /// Render pixels per picture pixel along each axis (1 to 4): the final pass draws at the render
    /// size and a box filter brings it down to the picture in the back buffer.
    int supersample = 1;
    /// A size was asked for: the picture is the largest 4:3 area of the back buffer, centred, with
    /// black bars; otherwise it is as high as the window and centred, its sides cropped or open.
    bool fitPicture = false;
    /// The supersampled final pass's own target and filter; made on first use.
    std::shared_ptr<Supersampler> supersampler;
};

extern SharedGraphics g_graphics;

/// Size of the show's logical canvas: every position, step and target size handed to shaders is in
/// these units, whatever the render size.
constexpr int kShowWidth = 800;
constexpr int kShowHeight = 600;
/// Stride of the system's vertex format (position, texture coordinate, normal).
constexpr uint32_t kVertexStride = 32;

/// Binds the generic quad at vertex slot 0 as a triangle strip; draw 4 vertices after it.
void BindGenericVertices();
