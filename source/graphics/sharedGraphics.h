// The graphics state every effect and renderer shares: the device, the back buffer, the 800 by 600
// depth buffer and the pipeline objects bound for the whole run. The program's start-up fills it in;
// everything that draws only reads it, so it lives below its readers.
#pragma once

#include <cstdint>

#include "platform/gpu/gpu.h"

/// Shared graphics state, read by the graphics layer and the effects.
struct SharedGraphics {
    Gpu::DevicePtr device;
    Gpu::ContextPtr context;
    Gpu::SwapChainPtr swapChain;
    Gpu::RenderTargetViewPtr backBufferView;  ///< recreated on resize; null when that failed
    Gpu::Texture2DPtr depthTexture;           ///< 800 by 600, D24S8
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
};

extern SharedGraphics g_graphics;

/// Size of the show's picture and of the shared depth buffer.
constexpr int kShowWidth = 800;
constexpr int kShowHeight = 600;
/// Stride of the system's vertex format (position, texture coordinate, normal).
constexpr uint32_t kVertexStride = 32;

/// Binds the generic quad at vertex slot 0 as a triangle strip; draw 4 vertices after it.
void BindGenericVertices();
