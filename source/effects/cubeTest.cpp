#include "effects/cubeTest.h"

#include <cmath>


namespace Effects {

namespace {

constexpr Vec4 kLit{1.0f, 1.0f, 0.0f, 1.0f};
constexpr Vec4 kUnlit{0.2f, 0.1f, 0.0f, 1.0f};
// A soft white highlight; the lattice has no parameter for it.
constexpr Vec4 kSpecular{0.6f, 0.6f, 0.6f, 24.0f};

// The sine of a float argument taken in double, made float again.
float Sine(float x) {
    return static_cast<float>(std::sin(double(x)));
}
float Cosine(float x) {
    return static_cast<float>(std::cos(double(x)));
}

}  // namespace

CubeTest::CubeTest() = default;
CubeTest::~CubeTest() = default;

bool CubeTest::Load(const pugi::xml_node& node) {
    if (!Effect::Load(node)) return false;
    m_renderer = std::make_unique<CubeRenderer>(kCapacity, false);
    m_renderer->SetLightDirection(1.0f, 0.5f, 0.0f);
    return true;
}

const std::vector<CubeInstance>& CubeTest::BuildInstances(double localTime) {
    const float t = static_cast<float>(localTime);
    m_instances.resize(kCubes);
    // The waves along y and z do not depend on a: computed once per frame.
    float waveB[2 * kReach + 1], waveC[2 * kReach + 1];
    for (int i = -kReach; i <= kReach; ++i) {
        waveB[i + kReach] = Cosine(0.5f * float(i) + 1.1f * t);
        waveC[i + kReach] = Sine(0.2f * float(i) + 0.7f * t);
    }
    CubeInstance* cube = m_instances.data();
    for (int a = -kReach; a <= kReach; ++a) {
        const float waveA = Sine(0.3f * float(a) + 1.5f * t);
        for (int b = -kReach; b <= kReach; ++b) {
            for (int c = -kReach; c <= kReach; ++c) {
                const float size = (waveA + waveB[b + kReach] + waveC[c + kReach]) / 6.0f + 0.5f;
                // A uniform scale followed by the move onto the grid of spacing 2, stored transposed.
                Matrix world;
                world.m[0][0] = size;
                world.m[1][1] = size;
                world.m[2][2] = size;
                world.m[0][3] = 2.0f * float(a);
                world.m[1][3] = 2.0f * float(b);
                world.m[2][3] = 2.0f * float(c);
                *cube++ = {world, kLit, kUnlit, kSpecular};
            }
        }
    }
    return m_instances;
}

void CubeTest::Render(double localTime, RenderTexturePair* target) {
    BuildInstances(localTime);
    m_renderer->SetInstances(m_instances.data(), kCubes);
    m_renderer->TakeCamera();
    m_renderer->Draw(Matrix::Identity(), target, 0.0f, 1.0f);
}

}  // namespace Effects
