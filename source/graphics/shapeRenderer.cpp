#include "graphics/shapeRenderer.h"

#include "graphics/camera.h"
#include "graphics/dynamicTexture.h"
#include "graphics/shader.h"
#include "graphics/sharedGraphics.h"

namespace {

// The unit quad in the XY plane; texture row 0 at the top.
const SVertexDesc kQuadVertices[4] = {
    {{-0.5f, -0.5f, 0.0f}, {0.0f, 1.0f}, {0.0f, 0.0f, 0.0f}},
    {{0.5f, -0.5f, 0.0f}, {1.0f, 1.0f}, {0.0f, 0.0f, 0.0f}},
    {{0.5f, 0.5f, 0.0f}, {1.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    {{-0.5f, 0.5f, 0.0f}, {0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
};

// Two clockwise triangles, the front faces under the shared rasterizer state.
const uint16_t kQuadIndices[6] = {0, 2, 1, 2, 0, 3};
constexpr uint32_t kIndexCount = 6;

}  // namespace

ShapeRenderer::ShapeRenderer()
    : m_constants(sizeof(ShapeConstants)),
      m_instances(sizeof(ShapeInstance), kCapacity),
      m_quad(4),
      m_quadIndices(Gpu::BIND_INDEX_BUFFER, sizeof(kQuadIndices)) {
    ShapeInstance* shadow = m_instances.GetShadow();
    for (uint32_t i = 0; i < kCapacity; ++i) shadow[i].world = Matrix::Identity();
    m_shader = std::make_unique<Shader>("shapes.fx");
    m_shader->LoadVS("VS");
    m_shader->LoadPS("PS");
    m_quad.Update(kQuadVertices, 4);
    m_quadIndices.Update(kQuadIndices, sizeof(kQuadIndices));
}

ShapeRenderer::~ShapeRenderer() = default;

void ShapeRenderer::SetInstances(const ShapeInstance* instances, uint32_t count) {
    m_instances.Update(instances, count);
}

void ShapeRenderer::TakeCamera() {
    UpdateCamera();
    viewProjection = g_camera.viewProjection;
}

void ShapeRenderer::Render(RenderTexturePair* target) {
    Gpu::Context& context = *g_graphics.context;
    if (!m_shader->Set("PS")) {
        context.ClearRenderTargetView(target->CurrentTarget(), kShapeFirebrick);
        return;
    }
    ShapeConstants constants;
    constants.viewProjection = viewProjection.Transposed();
    constants.colour = colour;
    m_constants.Update(&constants);

    context.VSSetConstantBuffers(0, m_constants.GetBuffer());
    context.PSSetConstantBuffers(0, m_constants.GetBuffer());
    context.VSSetShaderResources(5, m_instances.GetView());
    context.OMSetRenderTargets(target->CurrentTarget(), nullptr);
    context.IASetVertexBuffers(0, m_quad.GetBuffer(), sizeof(SVertexDesc), 0);
    context.IASetIndexBuffer(m_quadIndices.GetBuffer(), Gpu::Format::R16_UINT, 0);
    context.IASetPrimitiveTopology(Gpu::PrimitiveTopology::TRIANGLELIST);
    // Issued also for no shapes, so that the states are bound the same way every frame.
    context.DrawIndexedInstanced(kIndexCount, m_instances.GetCount(), 0, 0, 0);
}
