// The graphics device and the pipeline objects every effect shares: created once at start-up by
// InitialiseD3D and alive for the whole run. The show always renders at 800 by 600 into render
// textures; only the back buffer follows the window's size.
#pragma once

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

/// Creates the device (in the main window when there is one, else headless) and every shared
/// pipeline object; false after logging the step that failed.
bool InitialiseD3D();

/// The second half of InitialiseD3D: takes a device made elsewhere (tests share one) and creates
/// every shared pipeline object on it.
bool InitialiseSharedObjects(const Gpu::DeviceSet& set);

/// Releases the device and the shared objects (tests, and the end of a run).
void ShutdownD3D();

/// Binds the generic quad at vertex slot 0 as a triangle strip; draw 4 vertices after it.
void BindGenericVertices();
