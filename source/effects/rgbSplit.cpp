#include "effects/rgbSplit.h"

#include <cmath>

#include "effects/screenPass.h"
#include "graphics/shader.h"

namespace Effects {

namespace {
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
    if (!SetShaderOrClear(*m_shader, "PS", target, kHotPink)) return;

    Constants constants{};
    DirectionStep(static_cast<float>(GetParam("angle")->GetAsDouble(localTime)), constants.stepX,
                  constants.stepY);
    const Vec3 offsets = GetParam("offsets")->GetAsVec3(localTime);
    constants.mix = static_cast<float>(GetParam("mix")->GetAsDouble(localTime));
    constants.offsets[0] = offsets.x;
    constants.offsets[1] = offsets.y;
    constants.offsets[2] = offsets.z;
    BindPassConstants(m_constants, &constants);
    DrawScreenPass(target);
}

}  // namespace Effects
