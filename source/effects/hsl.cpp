#include "effects/hsl.h"

#include "graphics/dynamicTexture.h"
#include "graphics/shader.h"
#include "main/device.h"

namespace Effects {

namespace {
// Shown instead of the pass when its shader cannot be bound, so the broken layer is plain to see.
constexpr float kHotPink[4] = {1.0f, 0.4117647f, 0.7058824f, 1.0f};
}  // namespace

HSL::HSL() : m_constants(sizeof(Constants)) {}

HSL::~HSL() = default;

bool HSL::Load(const pugi::xml_node& node) {
    if (!Effect::Load(node)) return false;
    m_shader = std::make_unique<Shader>("hsl.fx");
    // Compile failures are logged by the shader and show as hot pink when drawing.
    m_shader->LoadVS("VS");
    m_shader->LoadPS("PS");
    return true;
}

void HSL::Render(double localTime, RenderTexturePair* target) {
    Gpu::Context& context = *g_graphics.context;
    if (!m_shader->Set("PS")) {
        context.ClearRenderTargetView(target->CurrentTarget(), kHotPink);
        return;
    }

    // Absent parameters leave the picture as it is.
    const auto read = [&](const char* name, float fallback) {
        return HasParam(name) ? static_cast<float>(GetParam(name)->GetAsDouble(localTime)) : fallback;
    };
    Constants constants{};
    constants.hue = read("hue", 0.0f);
    constants.saturation = read("saturation", 1.0f);
    constants.luminance = read("luminance", 1.0f);
    m_constants.Update(&constants);
    context.VSSetConstantBuffers(0, m_constants.GetBuffer());
    context.PSSetConstantBuffers(0, m_constants.GetBuffer());

    // The picture so far is read, so it must not stay bound as the target.
    context.OMSetRenderTargets(nullptr, nullptr);
    context.PSSetShaderResources(0, target->CurrentView());
    context.VSSetShaderResources(0, target->CurrentView());
    target->Flip();
    BindGenericVertices();
    context.Draw(4, 0);
}

}  // namespace Effects
