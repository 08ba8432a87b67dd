// The device: creates resources, views, states, shaders and input layouts, and owns the immediate
// context. Two ways to make one: in a window (an SDL GL context) and headless (EGL on Mesa). Every
// Create function returns null after logging why when the description cannot be honoured.
#pragma once

#include <memory>
#include <string>

#include "platform/gpu/context.h"
#include "platform/gpu/gpuTypes.h"
#include "platform/gpu/resources.h"
#include "platform/gpu/shaders.h"
#include "platform/gpu/states.h"
#include "platform/gpu/swapChain.h"
#include "platform/gpu/views.h"
#include "platform/hlsl/shaderCode.h"

struct SDL_Window;

namespace Gpu {

class Device {
public:
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    /// A buffer; `initial` (whole buffer) may be null except for immutable buffers.
    BufferPtr CreateBuffer(const BufferDesc& desc, const SubresourceData* initial = nullptr);
    /// A 1D texture or array of them; `initial` holds one entry per layer and mip level when given.
    Texture1DPtr CreateTexture1D(const Texture1DDesc& desc, const SubresourceData* initial = nullptr);
    /// A 2D texture; `initial` holds one entry per mip level when given.
    Texture2DPtr CreateTexture2D(const Texture2DDesc& desc, const SubresourceData* initial = nullptr);
    /// A 3D texture; `initial` holds one entry per mip level when given.
    Texture3DPtr CreateTexture3D(const Texture3DDesc& desc, const SubresourceData* initial = nullptr);

    /// A view for shaders to read a texture or a structured buffer (null desc: all of it).
    ShaderResourceViewPtr CreateShaderResourceView(const ResourcePtr& resource,
                                                   const ShaderResourceViewDesc* desc = nullptr);
    /// A view to draw into one mip level of a 2D texture (null desc: level 0 in its own format).
    RenderTargetViewPtr CreateRenderTargetView(const ResourcePtr& resource,
                                               const RenderTargetViewDesc* desc = nullptr);
    /// A view to depth-test against one mip level of a 2D depth texture.
    DepthStencilViewPtr CreateDepthStencilView(const ResourcePtr& resource,
                                               const DepthStencilViewDesc* desc = nullptr);

    /// Depth test, depth writes and stencil operations, set with OMSetDepthStencilState.
    DepthStencilStatePtr CreateDepthStencilState(const DepthStencilDesc& desc);
    /// Fill, culling, front-face winding and depth bias, set with RSSetState.
    RasterizerStatePtr CreateRasterizerState(const RasterizerDesc& desc);
    /// Blending and write masks per render target, set with OMSetBlendState.
    BlendStatePtr CreateBlendState(const BlendDesc& desc);
    /// Filtering, addressing and level-of-detail range, bound at sampler slots.
    SamplerStatePtr CreateSamplerState(const SamplerDesc& desc);

    /// A vertex shader from compiled vertex-stage code. Where the driver refuses the code, its words
    /// go to `refusal` when one is given (for a caller that tries again), else to the log.
    VertexShaderPtr CreateVertexShader(std::shared_ptr<const Hlsl::ShaderCode> code,
                                       std::string* refusal = nullptr);
    /// A pixel shader from compiled pixel-stage code; `refusal` as for a vertex shader.
    PixelShaderPtr CreatePixelShader(std::shared_ptr<const Hlsl::ShaderCode> code,
                                     std::string* refusal = nullptr);
    /// An input layout matching `elements` to the inputs of `vertexCode` by semantic; null when an
    /// input has no element or an element is malformed.
    InputLayoutPtr CreateInputLayout(const InputElementDesc* elements, uint32_t count,
                                     const Hlsl::ShaderCode& vertexCode);

    /// The immediate context.
    const ContextPtr& GetImmediateContext() const { return m_context; }
    /// What the layer sent to the GPU so far (reset it freely).
    Counters& GetCounters();
    /// The GL renderer's name, for the log.
    const std::string& GetAdapterName() const;
    /// Video memory in MB where the driver tells it, else 0.
    int GetVideoMemoryMB() const;

private:
    friend struct DeviceFactory;
    explicit Device(std::shared_ptr<Detail::DeviceCore> core);

    std::shared_ptr<Detail::DeviceCore> m_core;
    ContextPtr m_context;
};

using DevicePtr = std::shared_ptr<Device>;

/// What a device factory gives: all three null after logging the reason when it fails.
struct DeviceSet {
    DevicePtr device;
    ContextPtr context;
    SwapChainPtr swapChain;
    explicit operator bool() const { return device != nullptr; }
};

/// Starts loading the GL driver for the next CreateHeadlessDevice on a worker thread, so that the
/// caller's work meanwhile overlaps it.
void PrepareHeadlessDevice();

/// A device with no window, drawing with EGL on Mesa; its swap chain has a `width` by `height` back
/// buffer and shows nothing.
DeviceSet CreateHeadlessDevice(uint32_t width = 800, uint32_t height = 600);

/// A device drawing into `window` (created with SDL_WINDOW_OPENGL by the caller); its swap chain has a
/// `width` by `height` back buffer that Present shows in the window.
DeviceSet CreateWindowDevice(SDL_Window* window, uint32_t width, uint32_t height);

}  // namespace Gpu
