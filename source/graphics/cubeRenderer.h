// Instanced drawing of lit cubes: one unit cube mesh drawn once per `CubeInstance` in a single draw
// call, each copy with its own transform and colours, lit by one directional light and seen through
// the camera matrices its owner copies in before each draw.
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

/// One cube as the shader reads it (112 bytes).
struct CubeInstance {
    Matrix world;         ///< transposed: scale, rotation and position inside the formation
    Vec4 colourLit;       ///< the side facing the light
    Vec4 colourUnlit;     ///< the side facing away from it
    Vec4 colourSpecular;  ///< highlight colour in x, y, z; specular power in w
};
static_assert(sizeof(CubeInstance) == 112, "the shader reads 112-byte cube records");

/// The constant block of a cube draw (240 bytes, slot 0 of both stages).
struct CubeConstants {
    Matrix formation;   ///< transposed
    Matrix view;        ///< transposed
    Matrix projection;  ///< transposed
    Vec3 eye;
    float padding0 = 0.0f;
    Vec3 lightDirection;
    float padding1 = 0.0f;
    int32_t first = 0;
    int32_t padding2[3] = {};
};
static_assert(sizeof(CubeConstants) == 240, "the shader reads a 240-byte block");

class CubeRenderer {
public:
    /// The most cubes one renderer may hold: what fits in the largest buffer a device must allow
    /// (128 MiB).
    static constexpr uint32_t kMaxCapacity = (128u << 20) / sizeof(CubeInstance);

    /// A renderer for up to `capacity` cubes; `textured` picks "PS_Textured" over "PS_Untextured".
    CubeRenderer(uint32_t capacity, bool textured);
    ~CubeRenderer();
    CubeRenderer(const CubeRenderer&) = delete;
    CubeRenderer& operator=(const CubeRenderer&) = delete;

    /// Uploads the records if they changed and makes `count` the number of cubes drawn.
    void SetInstances(const CubeInstance* instances, uint32_t count);
    /// Stores the light direction normalised (a zero vector stays zero).
    void SetLightDirection(float x, float y, float z);
    /// Brings the camera up to date and copies its view, projection and eye position in.
    void TakeCamera();
    /// Draws cubes [floor(n x start), floor(n x end)) of the n handed over, transformed by
    /// `formation`, into the target's current texture with the depth test on; clears the target to
    /// pink when "cubes.fx" cannot be bound.
    void Draw(const Matrix& formation, RenderTexturePair* target, float start, float end);

    /// Number of cubes handed over last.
    uint32_t GetCount() const { return m_instances.GetCount(); }
    uint32_t GetCapacity() const { return m_instances.GetCapacity(); }
    bool IsTextured() const { return m_textured; }
    /// The constant and instance buffers (tests read what they hold).
    const ConstantBuffer& GetConstants() const { return m_constants; }
    const StructuredBuffer<CubeInstance>& GetInstances() const { return m_instances; }

    Matrix view;
    Matrix projection;
    Vec3 eye;
    Vec3 lightDirection;

private:
    ConstantBuffer m_constants;
    StructuredBuffer<CubeInstance> m_instances;
    std::unique_ptr<Shader> m_shader;
    bool m_textured;
    VertexBuffer<SVertexDesc> m_vertices;
    GeometryBuffer m_indices;
};

/// Shown instead of cubes when "cubes.fx" cannot be bound.
inline constexpr float kCubePink[4] = {1.0f, 105.0f / 255.0f, 180.0f / 255.0f, 1.0f};
