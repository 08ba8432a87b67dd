// Views: how a resource is bound. A shader-resource view lets shaders read a texture or a structured
// buffer; render-target and depth-stencil views let draws write one mip level of a 2D texture.
#pragma once

#include <epoxy/gl.h>

#include <memory>

#include "platform/gpu/gpuTypes.h"
#include "platform/gpu/resources.h"

namespace Gpu {

class ShaderResourceView {
public:
    ~ShaderResourceView();
    ShaderResourceView(const ShaderResourceView&) = delete;
    ShaderResourceView& operator=(const ShaderResourceView&) = delete;
    /// The resource looked at.
    const ResourcePtr& GetResource() const { return m_resource; }
    /// The description, with defaults resolved.
    const ShaderResourceViewDesc& GetDesc() const { return m_desc; }

private:
    friend class Device;
    friend class Context;
    ShaderResourceView(std::shared_ptr<Detail::DeviceCore> core, ResourcePtr resource);

    std::shared_ptr<Detail::DeviceCore> m_core;
    ResourcePtr m_resource;
    ShaderResourceViewDesc m_desc;
    GLuint m_texture = 0;  ///< the texture, or a GL texture view of part of it
    bool m_ownsTexture = false;
    GLenum m_target = 0;  ///< the GL texture target a shader sees it as; 0 for buffers
};

class RenderTargetView {
public:
    ~RenderTargetView();
    RenderTargetView(const RenderTargetView&) = delete;
    RenderTargetView& operator=(const RenderTargetView&) = delete;
    /// The resource written.
    const ResourcePtr& GetResource() const { return m_resource; }
    /// The description, with defaults resolved.
    const RenderTargetViewDesc& GetDesc() const { return m_desc; }

private:
    friend class Device;
    friend class Context;
    RenderTargetView(std::shared_ptr<Detail::DeviceCore> core, ResourcePtr resource);

    std::shared_ptr<Detail::DeviceCore> m_core;
    ResourcePtr m_resource;
    RenderTargetViewDesc m_desc;
    GLuint m_texture = 0;
    GLint m_level = 0;
    bool m_ownsTexture = false;
};

class DepthStencilView {
public:
    ~DepthStencilView();
    DepthStencilView(const DepthStencilView&) = delete;
    DepthStencilView& operator=(const DepthStencilView&) = delete;
    /// The resource written.
    const ResourcePtr& GetResource() const { return m_resource; }
    /// The description, with defaults resolved.
    const DepthStencilViewDesc& GetDesc() const { return m_desc; }

private:
    friend class Device;
    friend class Context;
    DepthStencilView(std::shared_ptr<Detail::DeviceCore> core, ResourcePtr resource);

    std::shared_ptr<Detail::DeviceCore> m_core;
    ResourcePtr m_resource;
    DepthStencilViewDesc m_desc;
    GLuint m_texture = 0;
    GLint m_level = 0;
    bool m_hasStencil = false;
};

using ShaderResourceViewPtr = std::shared_ptr<ShaderResourceView>;
using RenderTargetViewPtr = std::shared_ptr<RenderTargetView>;
using DepthStencilViewPtr = std::shared_ptr<DepthStencilView>;

}  // namespace Gpu
