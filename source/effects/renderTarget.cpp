#include "effects/renderTarget.h"

#include "graphics/sharedGraphics.h"

namespace Effects {

namespace {
// Marks a broken compositing shader on the screen itself, since the group's picture cannot show.
constexpr float kWheat[4] = {0.9607844f, 0.8705883f, 0.7019608f, 1.0f};
}  // namespace

RenderTarget::RenderTarget()
    : m_shader("final.fx"), m_width(float(g_graphics.renderWidth)), m_height(float(g_graphics.renderHeight)) {
    m_shader.LoadVS("VS");
    m_shader.LoadPS("PS_WithAlpha");
}

void RenderTarget::Update(double time, RenderTexturePair* target) {
    if (!IsActive(time)) return;
    const double localTime = LocalTime(time);
    // Unlike the base order, the children draw first: their picture is what gets composited.
    RenderTexturePair& pair = Pair();
    for (const auto& child : m_children) child->Update(localTime, &pair);
    Render(localTime, target);
}

void RenderTarget::Render(double, RenderTexturePair* target) {
    Gpu::Context& context = *g_graphics.context;
    if (!m_shader.Set("PS_WithAlpha")) {
        context.ClearRenderTargetView(g_graphics.backBufferView, kWheat);
        return;
    }
    context.OMSetRenderTargets(nullptr, nullptr);
    const RenderTexturePair& pair = Pair();
    context.PSSetShaderResources(0, pair.CurrentView());
    context.VSSetShaderResources(0, pair.CurrentView());
    // The parent is not flipped: the group lands on top of the parent's picture, blended by its alpha.
    context.OMSetRenderTargets(target->CurrentTarget(), nullptr);
    BindGenericVertices();
    context.Draw(4, 0);
}

RenderTexturePair& RenderTarget::Pair() const {
    if (!m_pair) m_pair = std::make_unique<RenderTexturePair>(m_width, m_height);
    return *m_pair;
}

}  // namespace Effects
