// Instanced drawing of flat shapes: one unit quad drawn once per `ShapeInstance` in a single draw
// call, placed by the instance's world matrix and seen through the view-projection its owner copies
// in; "shapes.fx" turns each instance's type and two radii into the visible outline. All shapes of
// one draw share one colour. Nothing is depth tested: shapes lie over each other in instance order,
// blended by whatever blend state is bound.
#pragma once

#include <cstdint>
#include <memory>

#include "graphics/constantBuffer.h"
#include "graphics/geometryBuffer.h"
#include "graphics/matrix.h"
#include "graphics/structuredBuffer.h"
#include "graphics/vertexBuffer.h"

class RenderTexturePair;
class Shader;

/// One shape as the shader reads it (80 bytes).
struct ShapeInstance {
    Matrix world;         ///< transposed
    int32_t type = 0;     ///< which outline "shapes.fx" draws
    float inner = 0.0f;   ///< inner radius, in units of half the quad
    float outer = 0.0f;   ///< outer radius, in units of half the quad
    float unused = 0.0f;  ///< keeps the record at 80 bytes
};
static_assert(sizeof(ShapeInstance) == 80, "the shader reads 80-byte shape records");

/// The constant block of a shape draw (80 bytes, slot 0 of both stages).
struct ShapeConstants {
    Matrix viewProjection;  ///< transposed
    Vec4 colour;
};
static_assert(sizeof(ShapeConstants) == 80, "the shader reads an 80-byte block");

class ShapeRenderer {
public:
    /// The most shapes one draw holds.
    static constexpr uint32_t kCapacity = 1024;

    /// Creates the buffers (every instance's world preset to identity), the quad and "shapes.fx".
    ShapeRenderer();
    ~ShapeRenderer();
    ShapeRenderer(const ShapeRenderer&) = delete;
    ShapeRenderer& operator=(const ShapeRenderer&) = delete;

    /// Uploads the records if they changed and makes `count` (at most kCapacity) the number drawn.
    void SetInstances(const ShapeInstance* instances, uint32_t count);
    /// Brings the camera up to date and copies its view-projection in.
    void TakeCamera();
    /// Draws the shapes handed over into the target's current texture, without depth; clears the
    /// target to firebrick when "shapes.fx" cannot be bound.
    void Render(RenderTexturePair* target);

    /// The constant and instance buffers (tests read what they hold).
    const ConstantBuffer& GetConstants() const { return m_constants; }
    const StructuredBuffer<ShapeInstance>& GetInstances() const { return m_instances; }

    Vec4 colour;            ///< of every shape; written by the owner before Render
    Matrix viewProjection;  ///< written by the owner before Render

private:
    ConstantBuffer m_constants;
    StructuredBuffer<ShapeInstance> m_instances;
    std::unique_ptr<Shader> m_shader;
    VertexBuffer<SVertexDesc> m_quad;
    GeometryBuffer m_quadIndices;
};

/// Shown instead of shapes when "shapes.fx" cannot be bound (178, 34, 34).
inline constexpr float kShapeFirebrick[4] = {0.698039f, 0.133333f, 0.133333f, 1.0f};
