#include "platform/gpu/views.h"

#include "platform/gpu/deviceCore.h"

namespace Gpu {

ShaderResourceView::ShaderResourceView(std::shared_ptr<Detail::DeviceCore> core, ResourcePtr resource)
    : m_core(std::move(core)), m_resource(std::move(resource)) {}

ShaderResourceView::~ShaderResourceView() {
    if (m_ownsTexture) {
        m_core->Use();
        glDeleteTextures(1, &m_texture);
        m_core->NoteDeletion();
    }
}

RenderTargetView::RenderTargetView(std::shared_ptr<Detail::DeviceCore> core, ResourcePtr resource)
    : m_core(std::move(core)), m_resource(std::move(resource)) {}

RenderTargetView::~RenderTargetView() {
    if (m_ownsTexture) {
        m_core->Use();
        glDeleteTextures(1, &m_texture);
        m_core->NoteDeletion();
    }
}

DepthStencilView::DepthStencilView(std::shared_ptr<Detail::DeviceCore> core, ResourcePtr resource)
    : m_core(std::move(core)), m_resource(std::move(resource)) {}

DepthStencilView::~DepthStencilView() = default;

}  // namespace Gpu
