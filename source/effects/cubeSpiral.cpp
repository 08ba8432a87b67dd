#include "effects/cubeSpiral.h"

#include <climits>
#include <cmath>

#include "system/log.h"

namespace Effects {

namespace {

// Arm phases: 0, 2 pi / 3 and 4 pi / 3 as floats.
constexpr float kPhases[3] = {0.0f, 2.0943952f, 4.1887903f};
constexpr const char* kColours[3] = {"colour1", "colour2", "colour3"};
// One level of an arm: a flat cross of two bars 4 long over a 3 by 3 slab, one unit high.
constexpr float kShapes[3][2] = {{4.0f, 1.0f}, {1.0f, 4.0f}, {3.0f, 3.0f}};

// The script's "double, truncated to int": a value beyond the int range saturates and NaN reads as 0,
// where a plain conversion would be undefined.
int TruncateToInt(double value) {
    if (std::isnan(value)) return 0;
    if (value >= double(INT_MAX)) return INT_MAX;
    if (value <= double(INT_MIN)) return INT_MIN;
    return static_cast<int>(value);
}

}  // namespace

CubeSpiral::CubeSpiral() = default;
CubeSpiral::~CubeSpiral() = default;

bool CubeSpiral::Load(const pugi::xml_node& node) {
    if (!Effect::Load(node)) return false;
    m_renderer = std::make_unique<CubeRenderer>(kCapacity, false);
    return true;
}

const std::vector<CubeInstance>& CubeSpiral::BuildInstances(double localTime) {
    // Every parameter is required: a missing one is logged by the lookup and reads as zero.
    const float t = static_cast<float>(localTime);
    int height = TruncateToInt(GetParam("height")->GetAsDouble(localTime));
    const Vec3 radii = GetParam("radii")->GetAsVec3(localTime);
    const float speed1 = static_cast<float>(GetParam("speed1")->GetAsDouble(localTime));
    const float speed2 = static_cast<float>(GetParam("speed2")->GetAsDouble(localTime));
    Vec4 colours[3];
    for (int k = 0; k < 3; ++k) colours[k] = GetParam(kColours[k])->GetAsVec4(localTime);
    const Vec4 specular = GetParam("specular")->GetAsVec4(localTime);

    m_instances.clear();
    if (height <= 0) return m_instances;
    if (height > kMaxHeight) {
        // Keyframed heights pass through many frames: one message is enough.
        if (!m_reportedHeight) {
            VLOG("Effects::CubeSpiral::Render",
                 "'height' %d needs more than the %u cubes the spiral holds; drawing %d levels", height,
                 kCapacity, kMaxHeight);
            m_reportedHeight = true;
        }
        height = kMaxHeight;
    }
    const int n = height - 1;
    const float radius[3] = {radii.x, radii.y, radii.z};
    for (int k = 0; k < 3; ++k) {
        const Vec4 lit = colours[k];
        const Vec4 unlit{lit.x * 0.2f, lit.y * 0.2f, lit.z * 0.2f, lit.w};
        for (int i = -n; i <= n; ++i) {
            const float level = float(i);
            const float angle = level * speed2 + t * speed1 + kPhases[k];
            const float x = std::sin(angle) * radius[k];
            const float z = std::cos(angle) * radius[k];
            for (const auto& shape : kShapes) {
                // A scale followed by the move to the level's centre, stored transposed.
                Matrix world;
                world.m[0][0] = shape[0];
                world.m[2][2] = shape[1];
                world.m[0][3] = x;
                world.m[1][3] = level;
                world.m[2][3] = z;
                m_instances.push_back({world, lit, unlit, specular});
            }
        }
    }
    return m_instances;
}

void CubeSpiral::Render(double localTime, RenderTexturePair* target) {
    BuildInstances(localTime);
    if (m_instances.empty()) return;
    m_renderer->SetInstances(m_instances.data(), static_cast<uint32_t>(m_instances.size()));
    m_renderer->TakeCamera();
    const Vec3 light = GetParam("lightDirection")->GetAsVec3(localTime);
    m_renderer->SetLightDirection(light.x, light.y, light.z);
    m_renderer->Draw(Matrix::Identity(), target, 0.0f, 1.0f);
}

}  // namespace Effects
