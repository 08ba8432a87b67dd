#include "effects/hsl.h"

#include "effects/screenPass.h"
#include "graphics/shader.h"

namespace Effects {

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
    if (!SetShaderOrClear(*m_shader, "PS", target, kHotPink)) return;

    // Absent parameters leave the picture as it is.
    const auto read = [&](const char* name, float fallback) {
        return HasParam(name) ? static_cast<float>(GetParam(name)->GetAsDouble(localTime)) : fallback;
    };
    Constants constants{};
    constants.hue = read("hue", 0.0f);
    constants.saturation = read("saturation", 1.0f);
    constants.luminance = read("luminance", 1.0f);
    BindPassConstants(m_constants, &constants);
    DrawScreenPass(target);
}

}  // namespace Effects
