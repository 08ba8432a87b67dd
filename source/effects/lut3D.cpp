#include "effects/lut3D.h"

#include "effects/screenPass.h"
#include "graphics/dynamicTexture.h"
#include "graphics/shader.h"
#include "graphics/sharedGraphics.h"
#include "graphics/texture.h"

namespace Effects {

namespace {
// Shown instead of the pass when its shader cannot be bound; not the hot pink of the other screen
// effects, so that a broken grading pass can be told from a broken blur.
constexpr float kLightSeaGreen[4] = {0.1254902f, 0.6980392f, 0.6666667f, 1.0f};
}  // namespace

Lut3D::Lut3D() : m_constants(sizeof(Constants)) {}

Lut3D::~Lut3D() = default;

bool Lut3D::Load(const pugi::xml_node& node) {
    if (!Effect::Load(node)) return false;
    // A table that fails is logged by the texture; the pass then runs without one.
    m_table = std::make_unique<Texture3D>();
    m_table->Load(GetParam("lutName")->GetAsString());
    m_shader = std::make_unique<Shader>("lut3D.fx");
    m_shader->LoadVS("VS");
    m_shader->LoadPS("PS");
    return true;
}

void Lut3D::Render(double localTime, RenderTexturePair* target) {
    if (!SetShaderOrClear(*m_shader, "PS", target, kLightSeaGreen)) return;

    Constants constants{};
    constants.strength = static_cast<float>(GetParam("strength")->GetAsDouble(localTime));
    BindPassConstants(m_constants, &constants);

    m_table->ReloadIfChanged();
    const Gpu::ShaderResourceViewPtr views[2] = {m_table->view, target->CurrentView()};
    DrawScreenPass(target, 2, views);

    // The picture read here is drawn into by the next pass; leaving it bound would let that
    // binding take it away silently.
    Gpu::Context& context = *g_graphics.context;
    const Gpu::ShaderResourceViewPtr none[2] = {nullptr, nullptr};
    context.PSSetShaderResources(0, 2, none);
    context.VSSetShaderResources(0, 2, none);
}

}  // namespace Effects
