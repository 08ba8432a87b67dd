#include "effects/shapeSphere.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "system/log.h"

namespace Effects {

namespace {

constexpr float kPi = 3.14159265f;

}  // namespace

bool ShapeSphere::Load(const pugi::xml_node& node) {
    m_reportedCut = false;
    m_reportedRings = false;
    m_reportedNumbers = false;
    return ShapeEffect::Load(node);
}

bool ShapeSphere::BuildShapes(double t, std::vector<ShapeInstance>& shapes) {
    shapes.clear();
    auto number = [&](const char* name, double fallback) {
        return HasParam(name) ? GetParam(name)->GetAsDouble(t) : fallback;
    };
    int rings = TruncateToInt(number("rings", 6.0));
    const int minShapes = TruncateToInt(number("minShapes", 6.0));
    const int maxShapes = TruncateToInt(number("maxShapes", 10.0));
    const float inner = static_cast<float>(number("inner", 0.75));
    const float outer = static_cast<float>(number("outer", 1.0));
    const float radius = static_cast<float>(number("radius", 150.0));
    const float scale = static_cast<float>(number("scale", 5.0));
    const int type = TruncateToInt(number("type", 0.0));

    if (!std::isfinite(inner) || !std::isfinite(outer) || !std::isfinite(radius) || !std::isfinite(scale)) {
        if (!m_reportedNumbers) {
            VLOG("Effects::ShapeSphere::Render",
                 "inner, outer, radius and scale must be finite numbers; nothing is drawn while one is not");
            m_reportedNumbers = true;
        }
        return true;
    }
    if (rings > kMaxRings) {
        if (!m_reportedRings) {
            VLOG("Effects::ShapeSphere::Render", "%d rings asked for; %d are drawn", rings, kMaxRings);
            m_reportedRings = true;
        }
        rings = kMaxRings;
    }

    const float ringCount = static_cast<float>(rings);
    for (int i = 1 - rings; i <= rings - 1; ++i) {
        const float latitude = (static_cast<float>(i) / ringCount) * (kPi / 2.0f);
        const float f = static_cast<float>(std::abs(i)) / ringCount;
        // Only bits 1 to 7 are kept: an even count from 0 to 254.
        const int n =
            static_cast<int>((1.0f - f) * static_cast<float>(maxShapes) + static_cast<float>(minShapes) * f) &
            254;
        if (n == 0) continue;
        const Matrix place = Matrix::Translation(0.0f, 0.0f, -radius) * Matrix::RotationX(latitude);
        for (int j = 0; j < n; ++j) {
            if (shapes.size() == ShapeRenderer::kCapacity) return false;
            const float longitude = (static_cast<float>(j) / static_cast<float>(n)) * (2.0f * kPi);
            Matrix world = Matrix::Scaling(scale);
            if (j % 2 == 1) world = world * Matrix::RotationZ(kPi);
            AppendShape(shapes, world * place * Matrix::RotationY(longitude), type, inner, outer);
        }
    }
    return true;
}

void ShapeSphere::Render(double localTime, RenderTexturePair* target) {
    if (!BuildShapes(localTime, m_shapes) && !m_reportedCut) {
        VLOG("Effects::ShapeSphere::Render",
             "The rings ask for more than %u shapes; only the first %u are drawn", ShapeRenderer::kCapacity,
             ShapeRenderer::kCapacity);
        m_reportedCut = true;
    }
    if (m_shapes.empty()) return;
    Vec4 colour{1.0f, 0.0f, 0.0f, 1.0f};
    if (HasParam("colour")) colour = GetParam("colour")->GetAsVec4(localTime);
    Draw(m_shapes, colour, target);
}

}  // namespace Effects
