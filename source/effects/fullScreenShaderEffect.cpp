#include "effects/fullScreenShaderEffect.h"

#include <string>

#include "effects/screenPass.h"
#include "graphics/dynamicTexture.h"
#include "graphics/shader.h"
#include "graphics/texture.h"

namespace Effects {

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
    const std::string entry = GetParam("pixelShader")->GetAsString();
    // Not flipped: the pink replaces the picture so far in place.
    if (!SetShaderOrClear(*m_shader, entry.c_str(), target, kHotPink)) return;

    Constants constants{};
    constants.time = static_cast<float>(localTime);
    BindPassConstants(m_constants, &constants);

    m_image->ReloadIfChanged();
    const Gpu::ShaderResourceViewPtr views[2] = {target->CurrentView(), m_image->view};
    DrawScreenPass(target, 2, views);
}

}  // namespace Effects
