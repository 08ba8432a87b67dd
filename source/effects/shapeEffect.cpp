#include "effects/shapeEffect.h"

#include <cmath>

#include "system/log.h"

namespace Effects {

ShapeEffect::ShapeEffect() = default;

ShapeEffect::~ShapeEffect() = default;

bool ShapeEffect::Load(const pugi::xml_node& node) {
    if (!Effect::Load(node)) return false;
    m_renderer = std::make_unique<ShapeRenderer>();
    m_reportedColour = false;
    return true;
}

void ShapeEffect::Draw(const std::vector<ShapeInstance>& shapes, Vec4 colour, RenderTexturePair* target) {
    if (!std::isfinite(colour.x) || !std::isfinite(colour.y) || !std::isfinite(colour.z) ||
        !std::isfinite(colour.w)) {
        if (!m_reportedColour) {
            VLOG("Effects::ShapeEffect::Draw",
                 "The colour of the shapes is not a number; they are not drawn");
            m_reportedColour = true;
        }
        return;
    }
    m_renderer->SetInstances(shapes.data(), static_cast<uint32_t>(shapes.size()));
    m_renderer->colour = colour;
    m_renderer->TakeCamera();
    m_renderer->Render(target);
}

int TruncateToInt(double value) {
    constexpr double kLimit = 1 << 30;
    if (std::isnan(value)) return 0;
    if (value > kLimit) return 1 << 30;
    if (value < -kLimit) return -(1 << 30);
    return static_cast<int>(value);
}

void AppendShape(std::vector<ShapeInstance>& shapes, const Matrix& world, int type, float inner,
                 float outer) {
    ShapeInstance shape;
    shape.world = world.Transposed();
    shape.type = type;
    shape.inner = inner;
    shape.outer = outer;
    shapes.push_back(shape);
}

}  // namespace Effects
