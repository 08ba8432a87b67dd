// Pipeline state objects: depth-stencil, rasterizer, blend and sampler. Immutable once created; the
// context applies a state's description to GL when a draw needs it.
#pragma once

#include <epoxy/gl.h>

#include <memory>

#include "platform/gpu/gpuTypes.h"

namespace Gpu {

namespace Detail {
class DeviceCore;
GLenum ToGl(ComparisonFunc func);
GLenum ToGl(StencilOp op);
GLenum ToGl(Blend blend);
GLenum ToGl(BlendOp op);
GLenum ToGl(TextureAddressMode mode);
}  // namespace Detail

class DepthStencilState {
public:
    /// The description it was created with.
    const DepthStencilDesc& GetDesc() const { return m_desc; }

private:
    friend class Device;
    explicit DepthStencilState(const DepthStencilDesc& desc) : m_desc(desc) {}
    DepthStencilDesc m_desc;
};

class RasterizerState {
public:
    /// The description it was created with.
    const RasterizerDesc& GetDesc() const { return m_desc; }

private:
    friend class Device;
    explicit RasterizerState(const RasterizerDesc& desc) : m_desc(desc) {}
    RasterizerDesc m_desc;
};

class BlendState {
public:
    /// The description it was created with.
    const BlendDesc& GetDesc() const { return m_desc; }

private:
    friend class Device;
    explicit BlendState(const BlendDesc& desc) : m_desc(desc) {}
    BlendDesc m_desc;
};

class SamplerState {
public:
    ~SamplerState();
    SamplerState(const SamplerState&) = delete;
    SamplerState& operator=(const SamplerState&) = delete;
    /// The description it was created with.
    const SamplerDesc& GetDesc() const { return m_desc; }

private:
    friend class Device;
    friend class Context;
    SamplerState(std::shared_ptr<Detail::DeviceCore> core, const SamplerDesc& desc);

    std::shared_ptr<Detail::DeviceCore> m_core;
    SamplerDesc m_desc;
    GLuint m_sampler = 0;
};

using DepthStencilStatePtr = std::shared_ptr<DepthStencilState>;
using RasterizerStatePtr = std::shared_ptr<RasterizerState>;
using BlendStatePtr = std::shared_ptr<BlendState>;
using SamplerStatePtr = std::shared_ptr<SamplerState>;

}  // namespace Gpu
