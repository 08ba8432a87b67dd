// The immediate context: binds buffers, views, shaders and states, draws and clears, maps and updates
// resources. It keeps the bindings of the interface it stands for (per stage, per slot) and turns
// them into GL bindings at each draw, when the shaders in use say which slots they read.
#pragma once

#include <epoxy/gl.h>

#include <array>
#include <memory>
#include <vector>

#include "platform/gpu/gpuTypes.h"
#include "platform/gpu/resources.h"
#include "platform/gpu/shaders.h"
#include "platform/gpu/states.h"
#include "platform/gpu/views.h"

namespace Gpu {

class Context {
public:
    ~Context();
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    // --- Input assembler
    void IASetInputLayout(const InputLayoutPtr& layout);
    void IASetVertexBuffers(uint32_t startSlot, uint32_t count, const BufferPtr* buffers,
                            const uint32_t* strides, const uint32_t* offsets);
    /// One vertex buffer at `slot`.
    void IASetVertexBuffers(uint32_t slot, const BufferPtr& buffer, uint32_t stride, uint32_t offset);
    /// The index buffer; `format` is R16_UINT or R32_UINT.
    void IASetIndexBuffer(const BufferPtr& buffer, Format format, uint32_t offset);
    void IASetPrimitiveTopology(PrimitiveTopology topology);

    // --- Shader stages (null unbinds)
    void VSSetShader(const VertexShaderPtr& shader);
    void PSSetShader(const PixelShaderPtr& shader);
    void VSSetConstantBuffers(uint32_t startSlot, uint32_t count, const BufferPtr* buffers);
    void PSSetConstantBuffers(uint32_t startSlot, uint32_t count, const BufferPtr* buffers);
    void VSSetConstantBuffers(uint32_t slot, const BufferPtr& buffer) {
        VSSetConstantBuffers(slot, 1, &buffer);
    }
    void PSSetConstantBuffers(uint32_t slot, const BufferPtr& buffer) {
        PSSetConstantBuffers(slot, 1, &buffer);
    }
    void VSSetShaderResources(uint32_t startSlot, uint32_t count, const ShaderResourceViewPtr* views);
    void PSSetShaderResources(uint32_t startSlot, uint32_t count, const ShaderResourceViewPtr* views);
    void VSSetShaderResources(uint32_t slot, const ShaderResourceViewPtr& view) {
        VSSetShaderResources(slot, 1, &view);
    }
    void PSSetShaderResources(uint32_t slot, const ShaderResourceViewPtr& view) {
        PSSetShaderResources(slot, 1, &view);
    }
    void VSSetSamplers(uint32_t startSlot, uint32_t count, const SamplerStatePtr* samplers);
    void PSSetSamplers(uint32_t startSlot, uint32_t count, const SamplerStatePtr* samplers);
    /// The view bound at a shader-resource slot (null when none, or when a render-target binding
    /// took it away, as the interface this stands for does).
    ShaderResourceViewPtr VSGetShaderResource(uint32_t slot) const;
    ShaderResourceViewPtr PSGetShaderResource(uint32_t slot) const;

    // --- Rasterizer
    void RSSetState(const RasterizerStatePtr& state);
    void RSSetViewports(uint32_t count, const Viewport* viewports);
    void RSSetScissorRects(uint32_t count, const Rect* rects);

    // --- Output merger
    /// Binds up to 8 render targets and a depth view; binding a texture as a target unbinds it from
    /// every shader-resource slot.
    void OMSetRenderTargets(uint32_t count, const RenderTargetViewPtr* views,
                            const DepthStencilViewPtr& depth);
    /// One render target (or none when null) with an optional depth view.
    void OMSetRenderTargets(const RenderTargetViewPtr& view, const DepthStencilViewPtr& depth = nullptr);
    void OMSetDepthStencilState(const DepthStencilStatePtr& state, uint32_t stencilRef);
    /// `blendFactor` null means (1, 1, 1, 1); the sample mask has no effect without multisampling.
    void OMSetBlendState(const BlendStatePtr& state, const float* blendFactor, uint32_t sampleMask);

    // --- Clears (whole view, whatever the states and viewport)
    void ClearRenderTargetView(const RenderTargetViewPtr& view, const float color[4]);
    /// `flags` holds CLEAR_DEPTH and/or CLEAR_STENCIL.
    void ClearDepthStencilView(const DepthStencilViewPtr& view, uint32_t flags, float depth, uint8_t stencil);

    // --- Resource data
    /// Maps a dynamic resource for writing (WRITE_DISCARD, WRITE_NO_OVERWRITE) or a staging one for
    /// reading; false after logging when the usage does not allow it.
    bool Map(const ResourcePtr& resource, uint32_t subresource, MapType type, uint32_t flags,
             MappedSubresource* mapped);
    void Unmap(const ResourcePtr& resource, uint32_t subresource);
    /// Replaces the contents of a default-usage resource (all of it when `box` is null).
    void UpdateSubresource(const ResourcePtr& resource, uint32_t subresource, const Box* box,
                           const void* data, uint32_t rowPitch, uint32_t depthPitch);
    /// Copies all of `source` into `destination` (same kind, size and format).
    void CopyResource(const ResourcePtr& destination, const ResourcePtr& source);
    /// Fills the lower mip levels of the viewed texture from its top level.
    void GenerateMips(const ShaderResourceViewPtr& view);
    /// Reads one mip level of a texture back: tightly packed rows, top row first, in its own format.
    bool ReadTexture(const ResourcePtr& texture, uint32_t mip, std::vector<uint8_t>& bytes);

    // --- Draws
    void Draw(uint32_t vertexCount, uint32_t startVertex);
    void DrawInstanced(uint32_t vertexCountPerInstance, uint32_t instanceCount, uint32_t startVertex,
                       uint32_t startInstance);
    void DrawIndexed(uint32_t indexCount, uint32_t startIndex, int32_t baseVertex);
    void DrawIndexedInstanced(uint32_t indexCountPerInstance, uint32_t instanceCount, uint32_t startIndex,
                              int32_t baseVertex, uint32_t startInstance);

    /// Unbinds everything and returns every state to its default.
    void ClearState();
    /// Sends queued GL work on its way.
    void Flush();

private:
    friend class Device;
    friend struct DeviceFactory;
    explicit Context(std::shared_ptr<Detail::DeviceCore> core);

    struct Stage {
        std::array<BufferPtr, kConstantBufferSlots> constants;
        std::array<ShaderResourceViewPtr, kShaderResourceSlots> views;
        std::array<SamplerStatePtr, kSamplerSlots> samplers;
    };
    struct BoundRange {
        GLuint name = 0;
        GLintptr offset = 0;
        GLsizeiptr size = 0;
        bool operator==(const BoundRange&) const = default;
    };

    void SetConstantBuffers(Stage& stage, uint32_t startSlot, uint32_t count, const BufferPtr* buffers);
    void SetShaderResources(Stage& stage, uint32_t startSlot, uint32_t count,
                            const ShaderResourceViewPtr* views);
    void SetSamplers(Stage& stage, uint32_t startSlot, uint32_t count, const SamplerStatePtr* samplers);
    bool IsBoundForOutput(const Resource* resource) const;

    bool PrepareDraw(const char* function, bool indexed);
    bool ApplyFramebuffer();
    void ApplyVertexInput(bool indexed);
    void ApplyStage(const Stage& stage, StageShader& shader);
    void ApplyStates();
    void BindUniform(GLuint binding, const BoundRange& range);
    void BindStorage(GLuint binding, const BoundRange& range);
    void BindUnit(GLuint unit, GLuint texture, GLuint sampler);
    void ForgetBoundNames();
    GLenum Mode() const;

    std::shared_ptr<Detail::DeviceCore> m_core;

    // Bindings as the caller set them.
    InputLayoutPtr m_inputLayout;
    std::array<BufferPtr, kVertexBufferSlots> m_vertexBuffers;
    std::array<uint32_t, kVertexBufferSlots> m_strides{};
    std::array<uint32_t, kVertexBufferSlots> m_offsets{};
    BufferPtr m_indexBuffer;
    Format m_indexFormat = Format::R16_UINT;
    uint32_t m_indexOffset = 0;
    PrimitiveTopology m_topology = PrimitiveTopology::UNDEFINED;
    VertexShaderPtr m_vertexShader;
    PixelShaderPtr m_pixelShader;
    Stage m_vs, m_ps;
    RasterizerStatePtr m_rasterizer;
    DepthStencilStatePtr m_depthStencil;
    uint32_t m_stencilRef = 0;
    BlendStatePtr m_blend;
    std::array<float, 4> m_blendFactor{1, 1, 1, 1};
    std::array<RenderTargetViewPtr, kMaxRenderTargets> m_targets;
    uint32_t m_targetCount = 0;
    DepthStencilViewPtr m_depthView;

    // What GL holds now, to skip redundant calls.
    GLuint m_framebuffer = 0;
    GLuint m_clearFramebuffer = 0;
    GLuint m_emptyVertexArray = 0;
    bool m_framebufferDirty = true;
    bool m_framebufferUsable = false;
    bool m_vertexInputDirty = true;
    GLuint m_appliedVertexArray = 0;
    GLuint m_appliedPipeline = 0;
    bool m_statesDirty = true;
    RasterizerStatePtr m_appliedRasterizer;
    DepthStencilStatePtr m_appliedDepthStencil;
    uint32_t m_appliedStencilRef = 0;
    BlendStatePtr m_appliedBlend;
    std::array<float, 4> m_appliedBlendFactor{1, 1, 1, 1};
    uint64_t m_seenDeletions = 0;
    std::vector<BoundRange> m_uniformBindings;
    std::vector<BoundRange> m_storageBindings;
    std::vector<std::pair<GLuint, GLuint>> m_units;  ///< texture and sampler per unit
    bool m_warnedNoVertexShader = false;
};

using ContextPtr = std::shared_ptr<Context>;

}  // namespace Gpu
