// An 11 by 11 by 11 lattice of cubes whose sizes ripple with three sine waves running along the
// three axes; it has no parameters of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "effects/effect.h"
#include "graphics/cubeRenderer.h"

namespace Effects {

class CubeTest : public Effect {
public:
    static constexpr uint32_t kCapacity = 100000;
    static constexpr int kReach = 5;
    static constexpr uint32_t kCubes = (2 * kReach + 1) * (2 * kReach + 1) * (2 * kReach + 1);

    CubeTest();
    ~CubeTest() override;

    /// Creates the renderer and sets its light direction to (1, 0.5, 0).
    bool Load(const pugi::xml_node& node) override;
    /// Builds the lattice at the local time and draws it.
    void Render(double localTime, RenderTexturePair* target) override;

    /// The frame's 1331 cubes (a outermost, c innermost): what Render hands to the renderer.
    const std::vector<CubeInstance>& BuildInstances(double localTime);

    const CubeRenderer* GetRenderer() const { return m_renderer.get(); }

private:
    std::unique_ptr<CubeRenderer> m_renderer;
    std::vector<CubeInstance> m_instances;
};

}  // namespace Effects
