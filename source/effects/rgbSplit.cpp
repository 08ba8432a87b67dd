#include "effects/rgbSplit.h"

#include <cmath>

#include "graphics/dynamicTexture.h"
#include "graphics/shader.h"
#include "main/device.h"

namespace Effects {

namespace {
// Shown instead of the pass when its shader cannot be bound, so the broken layer is plain to see.
constexpr float kHotPink[4] = {1.0f, 0.4117647f, 0.7058824f, 1.0f};
constexpr float kRadiansPerDegree = 0.017453292f;
}  // namespace

RGBSplit::RGBSplit() : m_constants(sizeof(Constants)) {}

RGBSplit::~RGBSplit() = default;

bool RGBSplit::Load(const pugi::xml_node& node) {
    if (!Effect::Load(node)) return false;
    m_shader = std::make_unique<Shader>("rgbsplit.fx");
    // Compile failures are logged by the shader and show as hot pink when drawing.
    m_shader->LoadVS("VS");
    m_shader->LoadPS("PS");
    return true;
}

void RGBSplit::DirectionStep(float angleDegrees, float& x, float& y) {
    const float radians = angleDegrees * kRadiansPerDegree;
    const float s = static_cast<float>(std::sin(static_cast<double>(radians)));
    const float c = static_cast<float>(std::cos(static_cast<double>(radians)));
    // Divided per axis, so the step is one texel long whatever the direction, not one in x and one
    // in y.
    x = c / 800.0f;
    y = s / 600.0f;
}

void RGBSplit::Render(double localTime, RenderTexturePair* target) {
    Gpu::Context& context = *g_graphics.context;
    if (!m_shader->Set("PS")) {
        context.ClearRenderTargetView(target->CurrentTarget(), kHotPink);
        return;
    }

    Constants constants{};
    DirectionStep(static_cast<float>(GetParam("angle")->GetAsDouble(localTime)), constants.stepX,
                  constants.stepY);
    const Vec3 offsets = GetParam("offsets")->GetAsVec3(localTime);
    constants.mix = static_cast<float>(GetParam("mix")->GetAsDouble(localTime));
    constants.offsets[0] = offsets.x;
    constants.offsets[1] = offsets.y;
    constants.offsets[2] = offsets.z;
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
