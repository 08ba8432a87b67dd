// Three intertwined spiral arms climbing the vertical axis, 120 degrees apart, each level of an arm a
// small star of three stretched cubes; the arms turn with time and twist with height at keyframable
// rates. All cubes are built anew every frame.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "effects/effect.h"
#include "graphics/cubeRenderer.h"

namespace Effects {

class CubeSpiral : public Effect {
public:
    static constexpr uint32_t kCapacity = 2000;
    /// The highest "height" whose 9 x (2 height - 1) cubes fit the capacity.
    static constexpr int kMaxHeight = 111;

    CubeSpiral();
    ~CubeSpiral() override;

    /// Creates the renderer.
    bool Load(const pugi::xml_node& node) override;
    /// Builds the arms at the local time and draws them; nothing for a "height" of 0 or less.
    void Render(double localTime, RenderTexturePair* target) override;

    /// The frame's cubes, arm by arm, level by level upwards, three per level: what Render hands
    /// to the renderer. A "height" above kMaxHeight is drawn as kMaxHeight (logged once).
    const std::vector<CubeInstance>& BuildInstances(double localTime);

    const CubeRenderer* GetRenderer() const { return m_renderer.get(); }

private:
    std::unique_ptr<CubeRenderer> m_renderer;
    std::vector<CubeInstance> m_instances;
    bool m_reportedHeight = false;
};

}  // namespace Effects
