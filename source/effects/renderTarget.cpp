#include "effects/renderTarget.h"

#include "graphics/sharedGraphics.h"

namespace Effects {

namespace {
// Marks a broken compositing shader on the screen itself, since the group's picture cannot show.
constexpr float kWheat[4] = {0.9607844f, 0.8705883f, 0.7019608f, 1.0f};
}  // namespace

RenderTarget::RenderTarget()
    : m_shader("final.fx"), m_pair(float(g_graphics.renderWidth), float(g_graphics.renderHeight)) {
    m_shader.LoadVS("VS");
    m_shader.LoadPS("PS_WithAlpha");
}

void RenderTarget::Update(double time, RenderTexturePair* target) {
    if (!IsActive(time)) return;
    const double localTime = LocalTime(time);
    // Unlike the base order, the children draw first: their picture is what gets composited.
    for (const auto& child : m_children) child->Update(localTime, &m_pair);
    Render(localTime, target);
}

void RenderTarget::Render(double, RenderTexturePair* target) {
    Gpu::Context& context = *g_graphics.context;
    if (!m_shader.Set("PS_WithAlpha")) {
        context.ClearRenderTargetView(g_graphics.backBufferView, kWheat);
        return;
    }
    context.OMSetRenderTargets(nullptr, nullptr);
    context.PSSetShaderResources(0, m_pair.CurrentView());
    context.VSSetShaderResources(0, m_pair.CurrentView());
    // The parent is not flipped: the group lands on top of the parent's picture, blended by its alpha.
    context.OMSetRenderTargets(target->CurrentTarget(), nullptr);
    BindGenericVertices();
    context.Draw(4, 0);
}

}  // namespace Effects
