#include "platform/gpu/context.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "platform/gpu/deviceCore.h"
#include "platform/gpu/formats.h"
#include "system/log.h"

// Sections: construction | input assembler | shader stages | rasterizer | output merger | clears |
// resource data | draws | applying bindings at draw time | applying states

namespace Gpu {

// ---------------------------------------------------------------------------------------------------
// Construction

Context::Context(std::shared_ptr<Detail::DeviceCore> core) : m_core(std::move(core)) {
    m_core->Use();
    glCreateFramebuffers(1, &m_framebuffer);
    glCreateFramebuffers(1, &m_clearFramebuffer);
    glNamedFramebufferDrawBuffer(m_clearFramebuffer, GL_NONE);
    glNamedFramebufferReadBuffer(m_clearFramebuffer, GL_NONE);
    glCreateVertexArrays(1, &m_emptyVertexArray);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, m_framebuffer);
    // Strips are cut at the all-ones index, as on the interface this stands for.
    glEnable(GL_PRIMITIVE_RESTART_FIXED_INDEX);
    GLint uniformBindings = 0, storageBindings = 0, units = 0;
    glGetIntegerv(GL_MAX_UNIFORM_BUFFER_BINDINGS, &uniformBindings);
    glGetIntegerv(GL_MAX_SHADER_STORAGE_BUFFER_BINDINGS, &storageBindings);
    glGetIntegerv(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS, &units);
    m_uniformBindings.resize(static_cast<size_t>(uniformBindings));
    m_storageBindings.resize(static_cast<size_t>(storageBindings));
    m_units.resize(static_cast<size_t>(units));
    ClearState();
}

Context::~Context() {
    m_core->Use();
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glBindProgramPipeline(0);
    glBindVertexArray(0);
    glDeleteFramebuffers(1, &m_framebuffer);
    glDeleteFramebuffers(1, &m_clearFramebuffer);
    glDeleteVertexArrays(1, &m_emptyVertexArray);
    m_core->NoteDeletion();
}

void Context::ClearState() {
    m_inputLayout.reset();
    for (auto& buffer : m_vertexBuffers) buffer.reset();
    m_strides.fill(0);
    m_offsets.fill(0);
    m_indexBuffer.reset();
    m_indexFormat = Format::R16_UINT;
    m_indexOffset = 0;
    m_topology = PrimitiveTopology::UNDEFINED;
    m_vertexShader.reset();
    m_pixelShader.reset();
    m_vs = Stage{};
    m_ps = Stage{};
    m_rasterizer.reset();
    m_depthStencil.reset();
    m_stencilRef = 0;
    m_blend.reset();
    m_blendFactor = {1, 1, 1, 1};
    for (auto& target : m_targets) target.reset();
    m_targetCount = 0;
    m_depthView.reset();
    m_framebufferDirty = true;
    m_vertexInputDirty = true;
    m_statesDirty = true;
    m_core->Use();
    // No viewport means nothing is drawn, as on the interface this stands for.
    for (GLuint i = 0; i < kViewportSlots; ++i) {
        glViewportIndexedf(i, 0, 0, 0, 0);
        glDepthRangeIndexed(i, 0, 1);
    }
    glDisable(GL_SCISSOR_TEST);
}

void Context::Flush() {
    m_core->Use();
    glFlush();
}

// ---------------------------------------------------------------------------------------------------
// Input assembler

void Context::IASetInputLayout(const InputLayoutPtr& layout) {
    if (layout == m_inputLayout) return;
    m_inputLayout = layout;
    m_vertexInputDirty = true;
}

void Context::IASetVertexBuffers(uint32_t startSlot, uint32_t count, const BufferPtr* buffers,
                                 const uint32_t* strides, const uint32_t* offsets) {
    assert(startSlot + count <= kVertexBufferSlots);
    for (uint32_t i = 0; i < count && startSlot + i < kVertexBufferSlots; ++i) {
        m_vertexBuffers[startSlot + i] = buffers ? buffers[i] : nullptr;
        m_strides[startSlot + i] = strides ? strides[i] : 0;
        m_offsets[startSlot + i] = offsets ? offsets[i] : 0;
    }
    m_vertexInputDirty = true;
}

void Context::IASetVertexBuffers(uint32_t slot, const BufferPtr& buffer, uint32_t stride, uint32_t offset) {
    IASetVertexBuffers(slot, 1, &buffer, &stride, &offset);
}

void Context::IASetIndexBuffer(const BufferPtr& buffer, Format format, uint32_t offset) {
    assert(format == Format::R16_UINT || format == Format::R32_UINT || !buffer);
    m_indexBuffer = buffer;
    m_indexFormat = format == Format::R32_UINT ? Format::R32_UINT : Format::R16_UINT;
    m_indexOffset = offset;
    m_vertexInputDirty = true;
}

void Context::IASetPrimitiveTopology(PrimitiveTopology topology) {
    m_topology = topology;
}

// ---------------------------------------------------------------------------------------------------
// Shader stages

void Context::VSSetShader(const VertexShaderPtr& shader) {
    m_vertexShader = shader;
}
void Context::PSSetShader(const PixelShaderPtr& shader) {
    m_pixelShader = shader;
}

void Context::SetConstantBuffers(Stage& stage, uint32_t startSlot, uint32_t count, const BufferPtr* buffers) {
    assert(startSlot + count <= kConstantBufferSlots);
    for (uint32_t i = 0; i < count && startSlot + i < kConstantBufferSlots; ++i) {
        stage.constants[startSlot + i] = buffers ? buffers[i] : nullptr;
    }
}

void Context::VSSetConstantBuffers(uint32_t startSlot, uint32_t count, const BufferPtr* buffers) {
    SetConstantBuffers(m_vs, startSlot, count, buffers);
}
void Context::PSSetConstantBuffers(uint32_t startSlot, uint32_t count, const BufferPtr* buffers) {
    SetConstantBuffers(m_ps, startSlot, count, buffers);
}

bool Context::IsBoundForOutput(const Resource* resource) const {
    if (!resource) return false;
    for (uint32_t i = 0; i < m_targetCount; ++i) {
        if (m_targets[i] && m_targets[i]->GetResource().get() == resource) return true;
    }
    return m_depthView && m_depthView->GetResource().get() == resource;
}

void Context::SetShaderResources(Stage& stage, uint32_t startSlot, uint32_t count,
                                 const ShaderResourceViewPtr* views) {
    assert(startSlot + count <= kShaderResourceSlots);
    for (uint32_t i = 0; i < count && startSlot + i < kShaderResourceSlots; ++i) {
        ShaderResourceViewPtr view = views ? views[i] : nullptr;
        // A texture cannot be read while it is being drawn into: the binding is refused (left empty),
        // as the interface this stands for does, which also keeps GL free of feedback loops.
        if (view && IsBoundForOutput(view->GetResource().get())) view.reset();
        stage.views[startSlot + i] = std::move(view);
    }
}

void Context::VSSetShaderResources(uint32_t startSlot, uint32_t count, const ShaderResourceViewPtr* views) {
    SetShaderResources(m_vs, startSlot, count, views);
}
void Context::PSSetShaderResources(uint32_t startSlot, uint32_t count, const ShaderResourceViewPtr* views) {
    SetShaderResources(m_ps, startSlot, count, views);
}

ShaderResourceViewPtr Context::VSGetShaderResource(uint32_t slot) const {
    return slot < kShaderResourceSlots ? m_vs.views[slot] : nullptr;
}
ShaderResourceViewPtr Context::PSGetShaderResource(uint32_t slot) const {
    return slot < kShaderResourceSlots ? m_ps.views[slot] : nullptr;
}

void Context::SetSamplers(Stage& stage, uint32_t startSlot, uint32_t count, const SamplerStatePtr* samplers) {
    assert(startSlot + count <= kSamplerSlots);
    for (uint32_t i = 0; i < count && startSlot + i < kSamplerSlots; ++i) {
        stage.samplers[startSlot + i] = samplers ? samplers[i] : nullptr;
    }
}

void Context::VSSetSamplers(uint32_t startSlot, uint32_t count, const SamplerStatePtr* samplers) {
    SetSamplers(m_vs, startSlot, count, samplers);
}
void Context::PSSetSamplers(uint32_t startSlot, uint32_t count, const SamplerStatePtr* samplers) {
    SetSamplers(m_ps, startSlot, count, samplers);
}

// ---------------------------------------------------------------------------------------------------
// Rasterizer

void Context::RSSetState(const RasterizerStatePtr& state) {
    m_rasterizer = state;
}

void Context::RSSetViewports(uint32_t count, const Viewport* viewports) {
    m_core->Use();
    // With the upper-left clip origin GL's window y runs down from memory row 0, so the top-left
    // corner of a viewport is given as it is.
    for (uint32_t i = 0; i < count && i < kViewportSlots; ++i) {
        const Viewport& v = viewports[i];
        glViewportIndexedf(i, v.TopLeftX, v.TopLeftY, std::max(v.Width, 0.0f), std::max(v.Height, 0.0f));
        glDepthRangeIndexed(i, v.MinDepth, v.MaxDepth);
    }
}

void Context::RSSetScissorRects(uint32_t count, const Rect* rects) {
    m_core->Use();
    for (uint32_t i = 0; i < count && i < kViewportSlots; ++i) {
        const Rect& r = rects[i];
        glScissorIndexed(i, r.left, r.top, std::max(r.right - r.left, 0), std::max(r.bottom - r.top, 0));
    }
}

// ---------------------------------------------------------------------------------------------------
// Output merger

void Context::OMSetRenderTargets(uint32_t count, const RenderTargetViewPtr* views,
                                 const DepthStencilViewPtr& depth) {
    assert(count <= kMaxRenderTargets);
    count = std::min(count, kMaxRenderTargets);
    for (uint32_t i = 0; i < kMaxRenderTargets; ++i) {
        m_targets[i] = (views && i < count) ? views[i] : nullptr;
    }
    m_targetCount = count;
    m_depthView = depth;
    m_framebufferDirty = true;
    // What is now drawn into can no longer be read: unbind it from every shader-resource slot.
    for (Stage* stage : {&m_vs, &m_ps}) {
        for (auto& view : stage->views) {
            if (view && IsBoundForOutput(view->GetResource().get())) view.reset();
        }
    }
}

void Context::OMSetRenderTargets(const RenderTargetViewPtr& view, const DepthStencilViewPtr& depth) {
    OMSetRenderTargets(view ? 1 : 0, view ? &view : nullptr, depth);
}

void Context::OMSetDepthStencilState(const DepthStencilStatePtr& state, uint32_t stencilRef) {
    m_depthStencil = state;
    m_stencilRef = stencilRef;
}

void Context::OMSetBlendState(const BlendStatePtr& state, const float* blendFactor, uint32_t) {
    m_blend = state;
    if (blendFactor) {
        std::copy(blendFactor, blendFactor + 4, m_blendFactor.begin());
    } else {
        m_blendFactor = {1, 1, 1, 1};
    }
}

// ---------------------------------------------------------------------------------------------------
// Clears

void Context::ClearRenderTargetView(const RenderTargetViewPtr& view, const float color[4]) {
    if (!view) return;
    m_core->Use();
    const auto* texture = static_cast<const Texture*>(view->GetResource().get());
    const Detail::FormatInfo& info = Detail::GetFormatInfo(texture->GetFormat());
    // A texture clear ignores write masks, scissor and viewport, as a clear of a view must.
    if (info.integer) {
        const GLint values[4] = {GLint(color[0]), GLint(color[1]), GLint(color[2]), GLint(color[3])};
        glClearTexImage(view->m_texture, view->m_level, GL_RGBA_INTEGER, GL_INT, values);
    } else {
        glClearTexImage(view->m_texture, view->m_level, GL_RGBA, GL_FLOAT, color);
    }
    ++m_core->counters.clears;
}

void Context::ClearDepthStencilView(const DepthStencilViewPtr& view, uint32_t flags, float depth,
                                    uint8_t stencil) {
    if (!view || !(flags & (CLEAR_DEPTH | CLEAR_STENCIL))) return;
    m_core->Use();
    const GLenum attachment = view->m_hasStencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT;
    glNamedFramebufferTexture(m_clearFramebuffer, GL_DEPTH_STENCIL_ATTACHMENT, 0, 0);
    glNamedFramebufferTexture(m_clearFramebuffer, attachment, view->m_texture, view->m_level);
    // Framebuffer clears obey the write masks and the scissor; a view clear must not.
    glDisable(GL_SCISSOR_TEST);
    glDepthMask(GL_TRUE);
    glStencilMask(0xff);
    depth = std::clamp(depth, 0.0f, 1.0f);
    const GLint stencilValue = stencil;
    const bool clearStencil = (flags & CLEAR_STENCIL) && view->m_hasStencil;
    if ((flags & CLEAR_DEPTH) && clearStencil) {
        glClearNamedFramebufferfi(m_clearFramebuffer, GL_DEPTH_STENCIL, 0, depth, stencilValue);
    } else if (flags & CLEAR_DEPTH) {
        glClearNamedFramebufferfv(m_clearFramebuffer, GL_DEPTH, 0, &depth);
    } else if (clearStencil) {
        glClearNamedFramebufferiv(m_clearFramebuffer, GL_STENCIL, 0, &stencilValue);
    }
    glNamedFramebufferTexture(m_clearFramebuffer, attachment, 0, 0);
    m_statesDirty = true;
    ++m_core->counters.clears;
}

// ---------------------------------------------------------------------------------------------------
// Resource data

bool Context::Map(const ResourcePtr& resource, uint32_t subresource, MapType type, uint32_t,
                  MappedSubresource* mapped) {
    if (!resource || !mapped) return false;
    m_core->Use();
    const bool write = type == MapType::WRITE_DISCARD || type == MapType::WRITE_NO_OVERWRITE ||
                       type == MapType::WRITE || type == MapType::READ_WRITE;
    const bool read = type == MapType::READ || type == MapType::READ_WRITE;
    if (resource->GetDimension() == ResourceDimension::BUFFER) {
        auto* buffer = static_cast<Buffer*>(resource.get());
        const BufferDesc& desc = buffer->GetDesc();
        const bool allowed =
            subresource == 0 && !buffer->m_mapped &&
            (desc.Usage == Usage::DYNAMIC
                 ? (type == MapType::WRITE_DISCARD || type == MapType::WRITE_NO_OVERWRITE)
                 : desc.Usage == Usage::STAGING && (!write || (desc.CPUAccessFlags & CPU_ACCESS_WRITE)) &&
                       (!read || (desc.CPUAccessFlags & CPU_ACCESS_READ)));
        if (!allowed) {
            VLOG("Gpu::Context::Map", "A buffer of usage %u cannot be mapped that way",
                 static_cast<unsigned>(desc.Usage));
            return false;
        }
        buffer->m_mapped = true;
        mapped->pData = buffer->Bytes();
        mapped->RowPitch = desc.ByteWidth;
        mapped->DepthPitch = desc.ByteWidth;
        ++m_core->counters.maps;
        return true;
    }
    auto* texture = static_cast<Texture*>(resource.get());
    const Detail::FormatInfo& info = Detail::GetFormatInfo(texture->GetFormat());
    const bool allowed =
        subresource < texture->MipLevels() && texture->m_mappedSubresource < 0 && !info.depth &&
        (texture->m_usage == Usage::DYNAMIC
             ? type == MapType::WRITE_DISCARD
             : texture->m_usage == Usage::STAGING && (!write || (texture->m_cpuAccess & CPU_ACCESS_WRITE)) &&
                   (!read || (texture->m_cpuAccess & CPU_ACCESS_READ)));
    if (!allowed) {
        VLOG("Gpu::Context::Map", "A texture of usage %u cannot be mapped that way",
             static_cast<unsigned>(texture->m_usage));
        return false;
    }
    if (read) {
        texture->Read(subresource, texture->m_mapBytes);
    } else {
        texture->m_mapBytes.assign(size_t(texture->LevelWidth(subresource)) *
                                       texture->LevelHeight(subresource) * texture->LevelDepth(subresource) *
                                       info.bytesPerPixel,
                                   0);
    }
    texture->m_mappedSubresource = static_cast<int>(subresource);
    texture->m_mapType = type;
    mapped->pData = texture->m_mapBytes.data();
    mapped->RowPitch = texture->LevelWidth(subresource) * info.bytesPerPixel;
    mapped->DepthPitch = mapped->RowPitch * texture->LevelHeight(subresource);
    ++m_core->counters.maps;
    return true;
}

void Context::Unmap(const ResourcePtr& resource, uint32_t subresource) {
    if (!resource) return;
    m_core->Use();
    if (resource->GetDimension() == ResourceDimension::BUFFER) {
        auto* buffer = static_cast<Buffer*>(resource.get());
        if (!buffer->m_mapped) return;
        buffer->m_mapped = false;
        // The bytes go to GL when a draw needs them, so a buffer rewritten several times between two
        // draws is sent once.
        if (buffer->GetDesc().Usage == Usage::DYNAMIC) buffer->Touch();
        return;
    }
    auto* texture = static_cast<Texture*>(resource.get());
    if (texture->m_mappedSubresource != static_cast<int>(subresource)) return;
    if (texture->m_mapType != MapType::READ) {
        texture->Upload(subresource, nullptr, texture->m_mapBytes.data(), 0, 0);
    }
    texture->m_mappedSubresource = -1;
    texture->m_mapBytes.clear();
}

void Context::UpdateSubresource(const ResourcePtr& resource, uint32_t subresource, const Box* box,
                                const void* data, uint32_t rowPitch, uint32_t depthPitch) {
    if (!resource || !data) return;
    m_core->Use();
    if (resource->GetDimension() == ResourceDimension::BUFFER) {
        auto* buffer = static_cast<Buffer*>(resource.get());
        const BufferDesc& desc = buffer->GetDesc();
        uint32_t begin = 0, end = desc.ByteWidth;
        if (box) {
            begin = box->left;
            end = box->right;
        }
        const bool constant = (desc.BindFlags & BIND_CONSTANT_BUFFER) != 0;
        if (desc.Usage != Usage::DEFAULT || subresource != 0 || begin >= end || end > desc.ByteWidth ||
            (constant && box)) {
            VLOG("Gpu::Context::UpdateSubresource", "Buffer update refused (usage %u, bytes %u to %u of %u)",
                 static_cast<unsigned>(desc.Usage), begin, end, desc.ByteWidth);
            return;
        }
        std::memcpy(buffer->Bytes() + begin, data, end - begin);
        buffer->Touch();
        return;
    }
    auto* texture = static_cast<Texture*>(resource.get());
    if (texture->m_usage != Usage::DEFAULT ||
        !texture->Upload(subresource, box, data, rowPitch, depthPitch)) {
        VLOG("Gpu::Context::UpdateSubresource", "Texture update refused (usage %u, mip %u)",
             static_cast<unsigned>(texture->m_usage), subresource);
    }
}

void Context::CopyResource(const ResourcePtr& destination, const ResourcePtr& source) {
    if (!destination || !source || destination == source) return;
    m_core->Use();
    if (destination->GetDimension() != source->GetDimension()) {
        VLOG("Gpu::Context::CopyResource", "Cannot copy between resources of different kinds");
        return;
    }
    if (source->GetDimension() == ResourceDimension::BUFFER) {
        auto* to = static_cast<Buffer*>(destination.get());
        auto* from = static_cast<Buffer*>(source.get());
        if (to->GetDesc().ByteWidth != from->GetDesc().ByteWidth) {
            VLOG("Gpu::Context::CopyResource", "Cannot copy buffers of different sizes");
            return;
        }
        std::memcpy(to->Bytes(), from->Bytes(), from->GetDesc().ByteWidth);
        to->Touch();
        return;
    }
    auto* to = static_cast<Texture*>(destination.get());
    auto* from = static_cast<Texture*>(source.get());
    if (to->Width() != from->Width() || to->Height() != from->Height() || to->Depth() != from->Depth() ||
        to->MipLevels() != from->MipLevels() || to->GetFormat() != from->GetFormat()) {
        VLOG("Gpu::Context::CopyResource", "Cannot copy textures of different sizes or formats");
        return;
    }
    // GL counts the layers of a 1D array as rows.
    const bool rowLayers = from->m_target == GL_TEXTURE_1D_ARRAY;
    for (uint32_t mip = 0; mip < from->MipLevels(); ++mip) {
        const auto height = static_cast<GLsizei>(rowLayers ? from->LevelDepth(mip) : from->LevelHeight(mip));
        const auto depth = static_cast<GLsizei>(rowLayers ? 1 : from->LevelDepth(mip));
        glCopyImageSubData(from->m_name, from->m_target, static_cast<GLint>(mip), 0, 0, 0, to->m_name,
                           to->m_target, static_cast<GLint>(mip), 0, 0, 0,
                           static_cast<GLsizei>(from->LevelWidth(mip)), height, depth);
    }
}

void Context::GenerateMips(const ShaderResourceViewPtr& view) {
    if (!view || view->m_target == 0) return;
    m_core->Use();
    auto* texture = static_cast<Texture*>(view->GetResource().get());
    if (!(texture->m_miscFlags & RESOURCE_MISC_GENERATE_MIPS)) {
        VLOG("Gpu::Context::GenerateMips", "The texture was not created for mip generation");
        return;
    }
    glGenerateTextureMipmap(texture->m_name);
}

bool Context::ReadTexture(const ResourcePtr& resource, uint32_t mip, std::vector<uint8_t>& bytes) {
    if (!resource || resource->GetDimension() == ResourceDimension::BUFFER) return false;
    m_core->Use();
    return static_cast<Texture*>(resource.get())->Read(mip, bytes);
}

// ---------------------------------------------------------------------------------------------------
// Draws

GLenum Context::Mode() const {
    switch (m_topology) {
        case PrimitiveTopology::POINTLIST:
            return GL_POINTS;
        case PrimitiveTopology::LINELIST:
            return GL_LINES;
        case PrimitiveTopology::LINESTRIP:
            return GL_LINE_STRIP;
        case PrimitiveTopology::TRIANGLELIST:
            return GL_TRIANGLES;
        case PrimitiveTopology::TRIANGLESTRIP:
            return GL_TRIANGLE_STRIP;
        case PrimitiveTopology::UNDEFINED:
            break;
    }
    return GL_NONE;
}

void Context::Draw(uint32_t vertexCount, uint32_t startVertex) {
    ++m_core->counters.draws;
    if (vertexCount == 0 || !PrepareDraw("Gpu::Context::Draw", false)) return;
    glDrawArrays(Mode(), static_cast<GLint>(startVertex), static_cast<GLsizei>(vertexCount));
}

void Context::DrawInstanced(uint32_t vertexCountPerInstance, uint32_t instanceCount, uint32_t startVertex,
                            uint32_t startInstance) {
    ++m_core->counters.draws;
    m_core->counters.instances += instanceCount;
    if (vertexCountPerInstance == 0 || instanceCount == 0 ||
        !PrepareDraw("Gpu::Context::DrawInstanced", false)) {
        return;
    }
    glDrawArraysInstancedBaseInstance(Mode(), static_cast<GLint>(startVertex),
                                      static_cast<GLsizei>(vertexCountPerInstance),
                                      static_cast<GLsizei>(instanceCount), startInstance);
}

void Context::DrawIndexed(uint32_t indexCount, uint32_t startIndex, int32_t baseVertex) {
    ++m_core->counters.draws;
    if (indexCount == 0 || !PrepareDraw("Gpu::Context::DrawIndexed", true)) return;
    const uint32_t indexSize = m_indexFormat == Format::R32_UINT ? 4 : 2;
    const GLenum type = indexSize == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
    const uintptr_t offset = m_indexOffset + uintptr_t(startIndex) * indexSize;
    glDrawElementsBaseVertex(Mode(), static_cast<GLsizei>(indexCount), type,
                             reinterpret_cast<const void*>(offset), baseVertex);
}

void Context::DrawIndexedInstanced(uint32_t indexCountPerInstance, uint32_t instanceCount,
                                   uint32_t startIndex, int32_t baseVertex, uint32_t startInstance) {
    ++m_core->counters.draws;
    m_core->counters.instances += instanceCount;
    if (indexCountPerInstance == 0 || instanceCount == 0 ||
        !PrepareDraw("Gpu::Context::DrawIndexedInstanced", true)) {
        return;
    }
    const uint32_t indexSize = m_indexFormat == Format::R32_UINT ? 4 : 2;
    const GLenum type = indexSize == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
    const uintptr_t offset = m_indexOffset + uintptr_t(startIndex) * indexSize;
    glDrawElementsInstancedBaseVertexBaseInstance(
        Mode(), static_cast<GLsizei>(indexCountPerInstance), type, reinterpret_cast<const void*>(offset),
        static_cast<GLsizei>(instanceCount), baseVertex, startInstance);
}

// ---------------------------------------------------------------------------------------------------
// Applying bindings at draw time

bool Context::PrepareDraw(const char* function, bool indexed) {
    m_core->Use();
    if (!m_vertexShader) {
        if (!m_warnedNoVertexShader) VLOG(function, "Draw without a vertex shader skipped");
        m_warnedNoVertexShader = true;
        return false;
    }
    if (Mode() == GL_NONE) return false;
    if (indexed && !m_indexBuffer) return false;
    if (m_seenDeletions != m_core->deletions) ForgetBoundNames();
    if (!ApplyFramebuffer()) return false;

    const GLuint pipeline = m_core->Pipeline(
        m_vertexShader->m_id, m_vertexShader->m_program, m_pixelShader ? m_pixelShader->m_id : 0,
        m_pixelShader ? m_pixelShader->ProgramAfter(*m_vertexShader) : 0);
    if (pipeline != m_appliedPipeline) {
        glBindProgramPipeline(pipeline);
        m_appliedPipeline = pipeline;
    }
    ApplyVertexInput(indexed);
    ApplyStage(m_vs, *m_vertexShader);
    if (m_pixelShader) ApplyStage(m_ps, *m_pixelShader);
    ApplyStates();
    return true;
}

void Context::ForgetBoundNames() {
    // Deleted GL names may come back for new objects; caches of what is bound must not trust them.
    std::fill(m_uniformBindings.begin(), m_uniformBindings.end(), BoundRange{~0u, 0, 0});
    std::fill(m_storageBindings.begin(), m_storageBindings.end(), BoundRange{~0u, 0, 0});
    std::fill(m_units.begin(), m_units.end(), std::make_pair(~0u, ~0u));
    m_appliedPipeline = ~0u;
    m_appliedVertexArray = 0;
    m_vertexInputDirty = true;
    m_framebufferDirty = true;
    m_seenDeletions = m_core->deletions;
}

bool Context::ApplyFramebuffer() {
    if (!m_framebufferDirty) return m_framebufferUsable;
    m_framebufferDirty = false;
    GLenum drawBuffers[kMaxRenderTargets];
    bool any = false;
    for (uint32_t i = 0; i < kMaxRenderTargets; ++i) {
        const RenderTargetViewPtr& view = m_targets[i];
        glNamedFramebufferTexture(m_framebuffer, GL_COLOR_ATTACHMENT0 + i, view ? view->m_texture : 0,
                                  view ? view->m_level : 0);
        drawBuffers[i] = view ? GL_COLOR_ATTACHMENT0 + i : GL_NONE;
        any = any || view;
    }
    glNamedFramebufferTexture(m_framebuffer, GL_DEPTH_STENCIL_ATTACHMENT, 0, 0);
    glNamedFramebufferTexture(m_framebuffer, GL_DEPTH_ATTACHMENT, 0, 0);
    if (m_depthView) {
        glNamedFramebufferTexture(
            m_framebuffer, m_depthView->m_hasStencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
            m_depthView->m_texture, m_depthView->m_level);
        any = true;
    }
    glNamedFramebufferDrawBuffers(m_framebuffer, static_cast<GLsizei>(kMaxRenderTargets), drawBuffers);
    // No target at all: the draw writes nowhere, as on the interface this stands for.
    m_framebufferUsable = any;
    if (any) {
        const GLenum status = glCheckNamedFramebufferStatus(m_framebuffer, GL_DRAW_FRAMEBUFFER);
        if (status != GL_FRAMEBUFFER_COMPLETE) {
            VLOG("Gpu::Context::OMSetRenderTargets",
                 "The render targets cannot be drawn into together (0x%x)", static_cast<unsigned>(status));
            m_framebufferUsable = false;
        }
    }
    return m_framebufferUsable;
}

void Context::ApplyVertexInput(bool indexed) {
    const GLuint vertexArray = m_inputLayout ? m_inputLayout->m_vertexArray : m_emptyVertexArray;
    if (vertexArray != m_appliedVertexArray) {
        glBindVertexArray(vertexArray);
        m_appliedVertexArray = vertexArray;
        m_vertexInputDirty = true;
    }
    // Current() sends pending bytes; the names themselves change only when the bindings do.
    const uint32_t mask = m_inputLayout ? m_inputLayout->m_slotMask : 0;
    GLuint names[kVertexBufferSlots] = {};
    for (uint32_t slot = 0; slot < kVertexBufferSlots; ++slot) {
        if ((mask & (1u << slot)) && m_vertexBuffers[slot]) names[slot] = m_vertexBuffers[slot]->Current();
    }
    if (indexed) m_indexBuffer->Current();
    if (!m_vertexInputDirty) return;
    m_vertexInputDirty = false;
    for (uint32_t slot = 0; slot < kVertexBufferSlots; ++slot) {
        if (!(mask & (1u << slot))) continue;
        if (names[slot]) {
            glVertexArrayVertexBuffer(vertexArray, slot, names[slot], m_offsets[slot],
                                      static_cast<GLsizei>(m_strides[slot]));
        } else {
            // An empty slot reads zeros.
            glVertexArrayVertexBuffer(vertexArray, slot, m_core->ZeroBuffer(64), 0, 0);
        }
    }
    glVertexArrayElementBuffer(vertexArray, m_indexBuffer ? m_indexBuffer->Current() : 0);
}

void Context::BindUniform(GLuint binding, const BoundRange& range) {
    if (binding < m_uniformBindings.size() && m_uniformBindings[binding] == range) return;
    glBindBufferRange(GL_UNIFORM_BUFFER, binding, range.name, range.offset, range.size);
    if (binding < m_uniformBindings.size()) m_uniformBindings[binding] = range;
}

void Context::BindStorage(GLuint binding, const BoundRange& range) {
    if (binding < m_storageBindings.size() && m_storageBindings[binding] == range) return;
    glBindBufferRange(GL_SHADER_STORAGE_BUFFER, binding, range.name, range.offset, range.size);
    if (binding < m_storageBindings.size()) m_storageBindings[binding] = range;
}

void Context::BindUnit(GLuint unit, GLuint texture, GLuint sampler) {
    if (unit < m_units.size() && m_units[unit] == std::make_pair(texture, sampler)) return;
    if (unit >= m_units.size() || m_units[unit].first != texture) glBindTextureUnit(unit, texture);
    if (unit >= m_units.size() || m_units[unit].second != sampler) glBindSampler(unit, sampler);
    if (unit < m_units.size()) m_units[unit] = {texture, sampler};
}

void Context::ApplyStage(const Stage& stage, StageShader& shader) {
    for (const StageShader::ConstantSlot& slot : shader.m_constants) {
        const BufferPtr& buffer = stage.constants[slot.slot];
        if (buffer) {
            const Detail::BufferRange range = buffer->ForConstantBlock(slot.layout);
            BindUniform(slot.binding, {range.name, range.offset, range.size});
        } else {
            // Nothing bound reads as zeros.
            const GLsizeiptr size = std::max<GLsizeiptr>(16, (slot.layout.glStride + 15) & ~15u);
            BindUniform(slot.binding, {m_core->ZeroBuffer(static_cast<uint32_t>(size)), 0, size});
        }
    }
    for (const StageShader::StructuredSlot& slot : shader.m_structured) {
        const ShaderResourceViewPtr& view = stage.views[slot.slot];
        Detail::BufferRange range;
        if (view && view->m_target == 0) {
            auto* buffer = static_cast<Buffer*>(view->GetResource().get());
            range = buffer->ForStructuredBlock(slot.layout, view->m_desc.Buffer.FirstElement,
                                               view->m_desc.Buffer.NumElements);
        }
        if (range.name == 0) {
            const GLsizeiptr size = std::max<GLsizeiptr>(16, (slot.layout.glStride + 15) & ~15u);
            range = {m_core->ZeroBuffer(static_cast<uint32_t>(size)), 0, size};
        }
        BindStorage(slot.binding, {range.name, range.offset, range.size});
    }
    if (shader.m_loopBudget) {
        const Detail::LoopBudgetFlags& flags = m_core->LoopBudget();
        BindStorage(m_core->LoopBudgetBinding(shader.m_code->stage == Hlsl::Stage::Pixel),
                    {flags.Buffer(), flags.OffsetOf(shader.m_loopBudgetSlot), sizeof(uint32_t)});
    }
    for (const StageShader::TextureSlot& slot : shader.m_textures) {
        const ShaderResourceViewPtr& view = stage.views[slot.textureSlot];
        GLuint texture = slot.zeroTexture;
        if (view && view->m_target == slot.target) texture = view->m_texture;
        GLuint sampler = m_core->pointClampSampler;
        if (slot.samplerSlot >= 0) {
            const SamplerStatePtr& state = stage.samplers[static_cast<size_t>(slot.samplerSlot)];
            sampler = state ? state->m_sampler : m_core->defaultSampler;
        }
        BindUnit(slot.unit, texture, sampler);
    }
}

// ---------------------------------------------------------------------------------------------------
// Applying states

void Context::ApplyStates() {
    if (m_statesDirty || m_rasterizer != m_appliedRasterizer) {
        const RasterizerDesc desc = m_rasterizer ? m_rasterizer->GetDesc() : RasterizerDesc{};
        if (desc.CullMode == CullMode::NONE) {
            glDisable(GL_CULL_FACE);
        } else {
            glEnable(GL_CULL_FACE);
            glCullFace(desc.CullMode == CullMode::FRONT ? GL_FRONT : GL_BACK);
        }
        // The upper-left clip origin keeps the winding as seen on screen, so clockwise stays clockwise.
        glFrontFace(desc.FrontCounterClockwise ? GL_CCW : GL_CW);
        glPolygonMode(GL_FRONT_AND_BACK, desc.FillMode == FillMode::WIREFRAME ? GL_LINE : GL_FILL);
        if (desc.DepthClipEnable) {
            glDisable(GL_DEPTH_CLAMP);
        } else {
            glEnable(GL_DEPTH_CLAMP);
        }
        if (desc.DepthBias != 0 || desc.SlopeScaledDepthBias != 0.0f) {
            glEnable(GL_POLYGON_OFFSET_FILL);
            glEnable(GL_POLYGON_OFFSET_LINE);
            glPolygonOffset(desc.SlopeScaledDepthBias, static_cast<float>(desc.DepthBias));
        } else {
            glDisable(GL_POLYGON_OFFSET_FILL);
            glDisable(GL_POLYGON_OFFSET_LINE);
        }
        if (desc.ScissorEnable) {
            glEnable(GL_SCISSOR_TEST);
        } else {
            glDisable(GL_SCISSOR_TEST);
        }
        m_appliedRasterizer = m_rasterizer;
    }
    if (m_statesDirty || m_depthStencil != m_appliedDepthStencil || m_stencilRef != m_appliedStencilRef) {
        const DepthStencilDesc desc = m_depthStencil ? m_depthStencil->GetDesc() : DepthStencilDesc{};
        if (desc.DepthEnable) {
            glEnable(GL_DEPTH_TEST);
            glDepthFunc(Detail::ToGl(desc.DepthFunc));
        } else {
            glDisable(GL_DEPTH_TEST);
        }
        glDepthMask(desc.DepthWriteMask == DepthWriteMask::ALL ? GL_TRUE : GL_FALSE);
        if (desc.StencilEnable) {
            glEnable(GL_STENCIL_TEST);
            const std::pair<GLenum, const DepthStencilOpDesc*> faces[] = {{GL_FRONT, &desc.FrontFace},
                                                                          {GL_BACK, &desc.BackFace}};
            for (const auto& [face, op] : faces) {
                glStencilFuncSeparate(face, Detail::ToGl(op->StencilFunc), static_cast<GLint>(m_stencilRef),
                                      desc.StencilReadMask);
                glStencilOpSeparate(face, Detail::ToGl(op->StencilFailOp),
                                    Detail::ToGl(op->StencilDepthFailOp), Detail::ToGl(op->StencilPassOp));
            }
            glStencilMask(desc.StencilWriteMask);
        } else {
            glDisable(GL_STENCIL_TEST);
        }
        m_appliedDepthStencil = m_depthStencil;
        m_appliedStencilRef = m_stencilRef;
    }
    if (m_statesDirty || m_blend != m_appliedBlend || m_blendFactor != m_appliedBlendFactor) {
        const BlendDesc desc = m_blend ? m_blend->GetDesc() : BlendDesc{};
        for (GLuint i = 0; i < kMaxRenderTargets; ++i) {
            const RenderTargetBlendDesc& target = desc.RenderTarget[desc.IndependentBlendEnable ? i : 0];
            if (target.BlendEnable) {
                glEnablei(GL_BLEND, i);
                glBlendFuncSeparatei(i, Detail::ToGl(target.SrcBlend), Detail::ToGl(target.DestBlend),
                                     Detail::ToGl(target.SrcBlendAlpha), Detail::ToGl(target.DestBlendAlpha));
                glBlendEquationSeparatei(i, Detail::ToGl(target.BlendOp), Detail::ToGl(target.BlendOpAlpha));
            } else {
                glDisablei(GL_BLEND, i);
            }
            const uint8_t mask = target.RenderTargetWriteMask;
            glColorMaski(i, (mask & COLOR_WRITE_ENABLE_RED) != 0, (mask & COLOR_WRITE_ENABLE_GREEN) != 0,
                         (mask & COLOR_WRITE_ENABLE_BLUE) != 0, (mask & COLOR_WRITE_ENABLE_ALPHA) != 0);
        }
        if (desc.AlphaToCoverageEnable) {
            glEnable(GL_SAMPLE_ALPHA_TO_COVERAGE);
        } else {
            glDisable(GL_SAMPLE_ALPHA_TO_COVERAGE);
        }
        glBlendColor(m_blendFactor[0], m_blendFactor[1], m_blendFactor[2], m_blendFactor[3]);
        m_appliedBlend = m_blend;
        m_appliedBlendFactor = m_blendFactor;
    }
    m_statesDirty = false;
}

}  // namespace Gpu
