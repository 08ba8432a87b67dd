// What the two shape effects share: one shape renderer made at load, the list of shapes rebuilt every
// frame, and the draw that hands the list, the colour and the camera to the renderer.
#pragma once

#include <memory>
#include <vector>

#include "effects/effect.h"
#include "graphics/shapeRenderer.h"

namespace Effects {

class ShapeEffect : public Effect {
public:
    ShapeEffect();
    ~ShapeEffect() override;

    /// Loads the effect as every effect does, then makes a new shape renderer (the old one goes).
    bool Load(const pugi::xml_node& node) override;

    /// The renderer; null before Load.
    const ShapeRenderer* GetRenderer() const { return m_renderer.get(); }

protected:
    /// Hands `shapes` (at most the renderer's capacity), `colour` and the camera's view-projection
    /// to the renderer and draws them into the target; draws nothing (logged once per load) when a
    /// component of the colour is not finite.
    void Draw(const std::vector<ShapeInstance>& shapes, Vec4 colour, RenderTexturePair* target);

    std::unique_ptr<ShapeRenderer> m_renderer;
    bool m_reportedColour = false;
    /// The frame's shapes; kept between frames only so that its storage is reused.
    std::vector<ShapeInstance> m_shapes;
};

/// A script number truncated toward zero as an int: NaN gives 0, and magnitudes beyond 2^30 are held
/// there so that no later sum or product overflows.
int TruncateToInt(double value);

/// Appends a shape with the row-vector matrix `world` (stored transposed, as the shader reads it).
void AppendShape(std::vector<ShapeInstance>& shapes, const Matrix& world, int type, float inner, float outer);

}  // namespace Effects
