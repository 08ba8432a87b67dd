#include "effects/fullScreenShader.h"

#include <string>

#include "effects/screenPass.h"
#include "graphics/dynamicTexture.h"
#include "graphics/shader.h"
#include "graphics/sharedGraphics.h"
#include "graphics/texture.h"

namespace Effects {

namespace {
constexpr const char* kFloatNames[6] = {"float1", "float2", "float3", "float4", "float5", "float6"};
}  // namespace

FullScreenShader::FullScreenShader() : m_constants(sizeof(Constants)) {}

FullScreenShader::~FullScreenShader() = default;

bool FullScreenShader::Load(const pugi::xml_node& node) {
    if (!Effect::Load(node)) return false;

    const char* firstName = HasParam("image") ? "image" : "image1";
    m_firstImage = std::make_unique<Texture>();
    m_firstImage->Load(GetParam(firstName)->GetAsString());
    m_secondImage = std::make_unique<Texture>();
    m_secondImage->Load(HasParam("image2") ? GetParam("image2")->GetAsString() : std::string());

    m_shader = std::make_unique<Shader>(GetParam("shader")->GetAsString());
    // Failures to compile are logged by the shader and show as hot pink when drawing.
    m_shader->LoadVS("VS");
    m_shader->LoadPS(GetParam("pixelShader")->GetAsString());
    return true;
}

void FullScreenShader::Render(double localTime, RenderTexturePair* target) {
    const std::string entry = GetParam("pixelShader")->GetAsString();
    if (!SetShaderOrClear(*m_shader, entry.c_str(), target, kHotPink)) return;

    Constants constants{};
    constants.time = static_cast<float>(localTime);
    for (int i = 0; i < 6; ++i) {
        if (HasParam(kFloatNames[i])) {
            constants.values[i] = static_cast<float>(GetParam(kFloatNames[i])->GetAsDouble(localTime));
        }
    }
    BindPassConstants(m_constants, &constants);

    m_firstImage->ReloadIfChanged();
    m_secondImage->ReloadIfChanged();
    Gpu::Context& context = *g_graphics.context;
    const Gpu::ShaderResourceViewPtr views[2] = {m_firstImage->view, m_secondImage->view};
    context.PSSetShaderResources(0, 2, views);
    context.VSSetShaderResources(0, 2, views);

    context.OMSetRenderTargets(target->CurrentTarget(), nullptr);
    BindGenericVertices();
    context.Draw(4, 0);
}

}  // namespace Effects
