// Flat shapes in rings of latitude on a sphere around the world's origin: most shapes on the middle
// ring, fewer towards the poles, every other shape of a ring turned half a turn.
#pragma once

#include <vector>

#include "effects/shapeEffect.h"

namespace Effects {

class ShapeSphere : public ShapeEffect {
public:
    /// More rings than this are drawn as this many.
    static constexpr int kMaxRings = 4096;

    /// Builds the shapes from the parameters at the local time and draws them; nothing when there
    /// are none.
    void Render(double localTime, RenderTexturePair* target) override;
    bool Load(const pugi::xml_node& node) override;

    /// The shapes of the frame at `localTime`, at most the renderer's capacity of them; false when the
    /// parameters asked for more (the rest are left out).
    bool BuildShapes(double localTime, std::vector<ShapeInstance>& shapes);

private:
    // Each kind of trouble is reported once per load, not in every frame.
    bool m_reportedCut = false;
    bool m_reportedRings = false;
    bool m_reportedNumbers = false;
};

}  // namespace Effects
