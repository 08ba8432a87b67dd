// Sections: the field | the frame
#include "effects/cubeCluster.h"

#include <cassert>
#include <cmath>


namespace Effects {

namespace {

// Frequency and phase of one coordinate of a centre; single-precision constants, widened to double
// for the sine.
struct Wave {
    float frequency;
    float phase;
};

constexpr Wave kWaves[3][3] = {
    {{0.75f, 3.0f}, {0.25f, 1.6f}, {0.71f, 1.3f}},
    {{0.47f, 2.2f}, {0.33f, 2.3f}, {0.99f, 1.6f}},
    {{0.93f, 1.7f}, {0.89f, 2.1f}, {0.37f, 2.7f}},
};

// Cage bars: the scale of the bar's long axis and the position of its centre, in the order drawn.
struct Bar {
    int axis;
    float x, y, z;
};

constexpr Bar kBars[12] = {
    {0, 0, -11, -11}, {0, 0, 11, -11}, {0, 0, -11, 11},  {0, 0, 11, 11},  {1, -11, 0, -11}, {1, 11, 0, -11},
    {1, -11, 0, 11},  {1, 11, 0, 11},  {2, -11, -11, 0}, {2, 11, -11, 0}, {2, -11, 11, 0},  {2, 11, 11, 0},
};

float SquaredDistance(Vec3 a, Vec3 b) {
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return dx * dx + dy * dy + dz * dz;
}

Vec4 Blend(const float w[3], const Vec4 c[3]) {
    return {w[0] * c[0].x + w[1] * c[1].x + w[2] * c[2].x, w[0] * c[0].y + w[1] * c[1].y + w[2] * c[2].y,
            w[0] * c[0].z + w[1] * c[1].z + w[2] * c[2].z, w[0] * c[0].w + w[1] * c[1].w + w[2] * c[2].w};
}

// Each centre's share of the field. At a centre itself (or so near that the field overflows) the
// shares of an infinite sum are not numbers: the centres there share the cube alone, equally.
void Weights(const float f[3], float sum, float w[3]) {
    if (std::isfinite(sum)) {
        for (int k = 0; k < 3; ++k) w[k] = f[k] / sum;
        return;
    }
    int infinite = 0;
    for (int k = 0; k < 3; ++k) infinite += std::isinf(f[k]) ? 1 : 0;
    if (infinite > 0) {
        for (int k = 0; k < 3; ++k) w[k] = std::isinf(f[k]) ? 1.0f / float(infinite) : 0.0f;
        return;
    }
    // Three finite values whose float sum overflowed.
    const double total = double(f[0]) + double(f[1]) + double(f[2]);
    for (int k = 0; k < 3; ++k) w[k] = static_cast<float>(double(f[k]) / total);
}

// The transposed translation the instance records hold, written directly: the grid puts thousands
// of them out every frame.
Matrix TransposedTranslation(float x, float y, float z) {
    Matrix m;
    m.m[0][3] = x;
    m.m[1][3] = y;
    m.m[2][3] = z;
    return m;
}

}  // namespace

CubeCluster::CubeCluster() = default;
CubeCluster::~CubeCluster() = default;

bool CubeCluster::Load(const pugi::xml_node& node) {
    if (!Effect::Load(node)) return false;
    m_renderer = std::make_unique<CubeRenderer>(kCapacity, false);
    m_instances.reserve(kGridPoints + 12);
    return true;
}

// --------------------------------------------------------------------------------------- the field

std::array<Vec3, 3> CubeCluster::Centres(double localTime, double orbitSize) {
    const float amplitude = static_cast<float>(orbitSize * 7.0);
    std::array<Vec3, 3> centres;
    for (int k = 0; k < 3; ++k) {
        float coordinates[3];
        for (int axis = 0; axis < 3; ++axis) {
            const Wave& wave = kWaves[k][axis];
            const double angle = localTime * double(wave.frequency) + double(wave.phase);
            coordinates[axis] = static_cast<float>(std::sin(angle)) * amplitude;
        }
        centres[k] = {coordinates[0], coordinates[1], coordinates[2]};
    }
    return centres;
}

float CubeCluster::Field(const std::array<Vec3, 3>& centres, Vec3 point) {
    return 1.0f / SquaredDistance(point, centres[0]) + 1.0f / SquaredDistance(point, centres[1]) +
           1.0f / SquaredDistance(point, centres[2]);
}

// --------------------------------------------------------------------------------------- the frame

const std::vector<CubeInstance>& CubeCluster::BuildInstances(double t) {
    // Required parameters are looked up without a presence test: a missing one is logged by the
    // lookup and reads as zero.
    static constexpr const char* kLit[3] = {"colourLit1", "colourLit2", "colourLit3"};
    static constexpr const char* kUnlit[3] = {"colourUnlit1", "colourUnlit2", "colourUnlit3"};
    static constexpr const char* kSpecular[3] = {"colourSpecular1", "colourSpecular2", "colourSpecular3"};
    Vec4 lit[3], unlit[3], specular[3];
    for (int k = 0; k < 3; ++k) {
        lit[k] = GetParam(kLit[k])->GetAsVec4(t);
        unlit[k] = GetParam(kUnlit[k])->GetAsVec4(t);
        specular[k] = GetParam(kSpecular[k])->GetAsVec4(t);
    }
    const Vec4 cageLit = GetParam("cageColourLit")->GetAsVec4(t);
    const Vec4 cageUnlit = GetParam("cageColourUnlit")->GetAsVec4(t);
    const Vec4 cageSpecular = GetParam("cageColourSpecular")->GetAsVec4(t);
    const double borderSize = GetParam("borderSize")->GetAsDouble(t);
    const double orbitSize = GetParam("orbitSize")->GetAsDouble(t);
    const double threshold = HasParam("threshold") ? GetParam("threshold")->GetAsDouble(t) : 0.1;

    const std::array<Vec3, 3> centres = Centres(t, orbitSize);
    m_instances.clear();
    for (int ix = -kGridReach; ix <= kGridReach; ++ix) {
        const float x = float(ix);
        for (int iy = -kGridReach; iy <= kGridReach; ++iy) {
            const float y = float(iy);
            for (int iz = -kGridReach; iz <= kGridReach; ++iz) {
                const Vec3 p{x, y, float(iz)};
                const float f[3] = {1.0f / SquaredDistance(p, centres[0]),
                                    1.0f / SquaredDistance(p, centres[1]),
                                    1.0f / SquaredDistance(p, centres[2])};
                const float sum = f[0] + f[1] + f[2];
                if (!(sum > threshold)) continue;
                float w[3];
                Weights(f, sum, w);
                m_instances.push_back({TransposedTranslation(p.x, p.y, p.z), Blend(w, lit), Blend(w, unlit),
                                       Blend(w, specular)});
            }
        }
    }

    if (borderSize > 0.0) {
        // With borderSize 1 the bars are 23 long and meet at the corners of the cube from -11.5 to
        // 11.5 that encloses the grid with one cell to spare.
        const float length = static_cast<float>(borderSize * 23.0);
        for (const Bar& bar : kBars) {
            const float scale[3] = {bar.axis == 0 ? length : 1.0f, bar.axis == 1 ? length : 1.0f,
                                    bar.axis == 2 ? length : 1.0f};
            const Matrix world =
                Matrix::Scaling(scale[0], scale[1], scale[2]) * Matrix::Translation(bar.x, bar.y, bar.z);
            m_instances.push_back({world.Transposed(), cageLit, cageUnlit, cageSpecular});
        }
    }
    assert(m_instances.size() <= kCapacity);
    return m_instances;
}

void CubeCluster::Render(double localTime, RenderTexturePair* target) {
    BuildInstances(localTime);
    if (m_instances.empty()) return;
    m_renderer->SetInstances(m_instances.data(), static_cast<uint32_t>(m_instances.size()));
    m_renderer->TakeCamera();
    const Vec3 light = GetParam("lightDirection")->GetAsVec3(localTime);
    const Vec3 rotation = HasParam("rotation") ? GetParam("rotation")->GetAsVec3(localTime) : Vec3{};
    m_renderer->SetLightDirection(light.x, light.y, light.z);
    m_renderer->Draw(Matrix::RotationDegrees(rotation), target, 0.0f, 1.0f);
}

}  // namespace Effects
