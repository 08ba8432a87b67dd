// Instanced drawing of screen-space sprites cut from one texture laid out as a grid of equal cells (a
// bitmap font: one character per cell). Each sprite is one copy of the generic quad that
// "sprites.fx" places in pixels and gives its cell; later sprites lie over earlier ones. The
// texture is loaded again when its file changes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "graphics/constantBuffer.h"
#include "graphics/structuredBuffer.h"
#include "system/params.h"

class RenderTexturePair;
class Shader;
class Texture;

/// One sprite as the shader reads it (40 bytes).
struct SpriteInstance {
    float x = 0.0f;         ///< left edge of the sprite, in pixels from the left of the target
    float y = 0.0f;         ///< top edge, in pixels from the top
    Vec4 colour;            ///< multiplied into the cell's texels
    float scale = 1.0f;     ///< first shader value: size as a multiple of the cell size
    float rotation = 0.0f;  ///< second shader value: turn about the sprite's centre, in radians
    int32_t cell = 0;       ///< grid cell, counted along the rows from the top left
    int32_t unused = 0;     ///< keeps the record at 40 bytes
};
static_assert(sizeof(SpriteInstance) == 40, "the shader reads 40-byte sprite records");

/// The constant block of a sprite draw (32 bytes, vertex stage slot 0), written once.
struct SpriteConstants {
    Vec2 targetSize;  ///< pixels
    Vec2 cellSize;    ///< texels
    Vec2 gridSize;    ///< cells across and down
    Vec2 unused;
};
static_assert(sizeof(SpriteConstants) == 32, "the shader reads a 32-byte block");

class SpriteRenderer {
public:
    /// The most sprites one draw holds.
    static constexpr uint32_t kCapacity = 512;

    /// Loads the cell grid image `textureName` (its cells `cellWidth` by `cellHeight` texels,
    /// `cellsAcross` by `cellsDown` of them), writes the constant block and creates "sprites.fx". A
    /// size of 0 makes a renderer that draws nothing.
    SpriteRenderer(const std::string& textureName, uint32_t cellWidth, uint32_t cellHeight,
                   uint32_t cellsAcross, uint32_t cellsDown);
    ~SpriteRenderer();
    SpriteRenderer(const SpriteRenderer&) = delete;
    SpriteRenderer& operator=(const SpriteRenderer&) = delete;

    /// Uploads the records if they changed and makes `count` (at most kCapacity) the number drawn.
    void SetInstances(const SpriteInstance* instances, uint32_t count);
    /// Draws the sprites handed over into the target's current texture, first reloading an edited
    /// texture; clears the target to hot pink when there is no texture or "sprites.fx" cannot be bound.
    void Render(RenderTexturePair* target);

    /// The constant and instance buffers (tests read what they hold).
    const ConstantBuffer& GetConstants() const { return m_constants; }
    const StructuredBuffer<SpriteInstance>& GetInstances() const { return m_instances; }
    /// The cell grid image (null only if it could not be made at all).
    const Texture* GetTexture() const { return m_texture.get(); }

private:
    ConstantBuffer m_constants;
    StructuredBuffer<SpriteInstance> m_instances;
    std::unique_ptr<Texture> m_texture;
    std::unique_ptr<Shader> m_shader;
    bool m_hasCells;
};

/// Shown instead of sprites when they cannot be drawn (255, 105, 180).
inline constexpr float kSpriteHotPink[4] = {1.0f, 0.411765f, 0.705882f, 1.0f};
