#include "graphics/cubeRenderer.h"

#include <algorithm>
#include <cmath>

#include "graphics/camera.h"
#include "graphics/dynamicTexture.h"
#include "graphics/shader.h"
#include "graphics/sharedGraphics.h"

namespace {

constexpr float kThird = 1.0f / 3.0f;
constexpr float kTwoThirds = 2.0f / 3.0f;

// Four vertices per face so that each face has its own normal; the texture coordinates cut the faces
// from an atlas of 3 columns by 2 rows.
const SVertexDesc kCubeVertices[24] = {
    {{-0.5f, -0.5f, 0.5f}, {0, 1}, {0, 0, 1}},
    {{0.5f, -0.5f, 0.5f}, {kThird, 1}, {0, 0, 1}},
    {{0.5f, 0.5f, 0.5f}, {kThird, 0.5f}, {0, 0, 1}},
    {{-0.5f, 0.5f, 0.5f}, {0, 0.5f}, {0, 0, 1}},
    {{0.5f, -0.5f, -0.5f}, {0, 1}, {0, 0, -1}},
    {{-0.5f, -0.5f, -0.5f}, {kThird, 1}, {0, 0, -1}},
    {{-0.5f, 0.5f, -0.5f}, {kThird, 0.5f}, {0, 0, -1}},
    {{0.5f, 0.5f, -0.5f}, {0, 0.5f}, {0, 0, -1}},
    {{0.5f, -0.5f, 0.5f}, {kThird, 0.5f}, {0, -1, 0}},
    {{-0.5f, -0.5f, 0.5f}, {kTwoThirds, 0.5f}, {0, -1, 0}},
    {{-0.5f, -0.5f, -0.5f}, {kTwoThirds, 1}, {0, -1, 0}},
    {{0.5f, -0.5f, -0.5f}, {kThird, 1}, {0, -1, 0}},
    {{0.5f, 0.5f, -0.5f}, {kThird, 0.5f}, {0, 1, 0}},
    {{-0.5f, 0.5f, -0.5f}, {kTwoThirds, 0.5f}, {0, 1, 0}},
    {{-0.5f, 0.5f, 0.5f}, {kTwoThirds, 0}, {0, 1, 0}},
    {{0.5f, 0.5f, 0.5f}, {kThird, 0}, {0, 1, 0}},
    {{-0.5f, 0.5f, -0.5f}, {1, 0}, {-1, 0, 0}},
    {{-0.5f, -0.5f, -0.5f}, {1, 0.5f}, {-1, 0, 0}},
    {{-0.5f, -0.5f, 0.5f}, {kTwoThirds, 0.5f}, {-1, 0, 0}},
    {{-0.5f, 0.5f, 0.5f}, {kTwoThirds, 0}, {-1, 0, 0}},
    {{0.5f, 0.5f, 0.5f}, {kTwoThirds, 0}, {1, 0, 0}},
    {{0.5f, -0.5f, 0.5f}, {kTwoThirds, 0.5f}, {1, 0, 0}},
    {{0.5f, -0.5f, -0.5f}, {1, 0.5f}, {1, 0, 0}},
    {{0.5f, 0.5f, -0.5f}, {1, 0}, {1, 0, 0}},
};

constexpr uint32_t kIndexCount = 36;

struct CubeIndices {
    uint16_t values[kIndexCount];
};

constexpr CubeIndices MakeCubeIndices() {
    CubeIndices indices{};
    for (uint16_t face = 0; face < 6; ++face) {
        const uint16_t v = face * 4;
        const uint16_t triangles[6] = {v, uint16_t(v + 2), uint16_t(v + 1), uint16_t(v + 2),
                                       v, uint16_t(v + 3)};
        for (int i = 0; i < 6; ++i) indices.values[face * 6 + i] = triangles[i];
    }
    return indices;
}

constexpr CubeIndices kCubeIndices = MakeCubeIndices();

}  // namespace

CubeRenderer::CubeRenderer(uint32_t capacity, bool textured)
    : m_constants(sizeof(CubeConstants)),
      // An empty formation still gets a buffer (a device refuses empty ones); callers keep within
      // the largest buffer, this only guards against a slip.
      m_instances(sizeof(CubeInstance), std::clamp(capacity, 1u, kMaxCapacity)),
      m_textured(textured),
      m_vertices(24),
      m_indices(Gpu::BIND_INDEX_BUFFER, sizeof(kCubeIndices.values)) {
    m_shader = std::make_unique<Shader>("cubes.fx");
    m_shader->LoadVS("VS");
    m_shader->LoadPS(textured ? "PS_Textured" : "PS_Untextured");
    m_vertices.Update(kCubeVertices, 24);
    m_indices.Update(kCubeIndices.values, sizeof(kCubeIndices.values));
    lightDirection = {1.0f, 0.0f, 0.0f};
}

CubeRenderer::~CubeRenderer() = default;

void CubeRenderer::SetInstances(const CubeInstance* instances, uint32_t count) {
    m_instances.Update(instances, count);
}

void CubeRenderer::SetLightDirection(float x, float y, float z) {
    const float length = std::sqrt(x * x + y * y + z * z);
    if (length == 0.0f) {
        lightDirection = {0.0f, 0.0f, 0.0f};
        return;
    }
    lightDirection = {x / length, y / length, z / length};
}

void CubeRenderer::TakeCamera() {
    UpdateCamera();
    view = g_camera.view;
    projection = g_camera.projection;
    eye = g_camera.eyePosition;
}

void CubeRenderer::Draw(const Matrix& formation, RenderTexturePair* target, float start, float end) {
    Gpu::Context& context = *g_graphics.context;
    if (!m_shader->Set(m_textured ? "PS_Textured" : "PS_Untextured")) {
        context.ClearRenderTargetView(target->CurrentTarget(), kCubePink);
        return;
    }
    // Both bounds are held to [0, 1] on both sides, so n x bound stays within [0, n] and converts to
    // an integer whatever the script asked for (a start of 3e6 or infinity draws nothing). NaN bounds
    // count as the whole range.
    if (!(start > 0.0f)) start = 0.0f;
    if (start > 1.0f) start = 1.0f;
    if (!(end < 1.0f)) end = 1.0f;
    if (end < 0.0f) end = 0.0f;
    const float n = static_cast<float>(m_instances.GetCount());
    const int32_t first = static_cast<int32_t>(n * start);
    const int32_t last = static_cast<int32_t>(n * end);
    if (m_instances.GetCount() == 0 || first >= last) return;

    CubeConstants constants;
    constants.formation = formation.Transposed();
    constants.view = view.Transposed();
    constants.projection = projection.Transposed();
    constants.eye = eye;
    constants.lightDirection = lightDirection;
    constants.first = first;
    m_constants.Update(&constants);

    context.VSSetConstantBuffers(0, m_constants.GetBuffer());
    context.PSSetConstantBuffers(0, m_constants.GetBuffer());
    context.VSSetShaderResources(5, m_instances.GetView());
    context.OMSetRenderTargets(target->CurrentTarget(), g_graphics.depthView);
    context.IASetVertexBuffers(0, m_vertices.GetBuffer(), sizeof(SVertexDesc), 0);
    context.IASetIndexBuffer(m_indices.GetBuffer(), Gpu::Format::R16_UINT, 0);
    context.IASetPrimitiveTopology(Gpu::PrimitiveTopology::TRIANGLELIST);
    context.OMSetDepthStencilState(g_graphics.depthOnState, 1);
    context.DrawIndexedInstanced(kIndexCount, static_cast<uint32_t>(last - first), 0, 0, 0);
    context.OMSetDepthStencilState(g_graphics.depthOffState, 1);
}
