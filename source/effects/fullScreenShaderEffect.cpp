#include "effects/fullScreenShaderEffect.h"

#include <string>

#include "graphics/dynamicTexture.h"
#include "graphics/shader.h"
#include "graphics/texture.h"
#include "main/device.h"

namespace Effects {

namespace {
// Shown instead of the pass when its shader cannot be bound, so the broken layer is plain to see.
constexpr float kHotPink[4] = {1.0f, 0.4117647f, 0.7058824f, 1.0f};
}  // namespace

FullScreenShaderEffect::FullScreenShaderEffect() : m_constants(sizeof(Constants)) {}

FullScreenShaderEffect::~FullScreenShaderEffect() = default;

bool FullScreenShaderEffect::Load(const pugi::xml_node& node) {
    if (!Effect::Load(node)) return false;
    m_image = std::make_unique<Texture>();
    m_image->Load(GetParam("image")->GetAsString());
    // No entry is compiled here: the first Set compiles "VS" and the pixel entry it is asked for.
    m_shader = std::make_unique<Shader>(GetParam("shader")->GetAsString());
    return true;
}

void FullScreenShaderEffect::Render(double localTime, RenderTexturePair* target) {
    Gpu::Context& context = *g_graphics.context;
    const std::string entry = GetParam("pixelShader")->GetAsString();
    if (!m_shader->Set(entry.c_str())) {
        // Not flipped: the pink replaces the picture so far in place.
        context.ClearRenderTargetView(target->CurrentTarget(), kHotPink);
        return;
    }

    Constants constants{};
    constants.time = static_cast<float>(localTime);
    m_constants.Update(&constants);
    context.VSSetConstantBuffers(0, m_constants.GetBuffer());
    context.PSSetConstantBuffers(0, m_constants.GetBuffer());

    // The picture so far is read, so it must not stay bound as the target.
    context.OMSetRenderTargets(nullptr, nullptr);
    m_image->ReloadIfChanged();
    const Gpu::ShaderResourceViewPtr views[2] = {target->CurrentView(), m_image->view};
    context.PSSetShaderResources(0, 2, views);
    context.VSSetShaderResources(0, 2, views);

    target->Flip();
    BindGenericVertices();
    context.Draw(4, 0);
}

}  // namespace Effects
