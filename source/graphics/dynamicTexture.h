// Render textures: colour textures that effects draw into and read back as shader inputs, and the
// pair of them every effect is handed (one holds the picture so far, the other takes the next pass).
#pragma once

#include <memory>
#include <vector>

#include "platform/gpu/gpu.h"

/// A colour texture that is both a render target and a shader input (RGBA8, one mip level).
class DynamicTexture {
public:
    /// Creates the texture and its two views at the size truncated to whole pixels and clears it to
    /// transparent black; a part that cannot be created is logged and left null.
    DynamicTexture(float width, float height);
    DynamicTexture(const DynamicTexture&) = delete;
    DynamicTexture& operator=(const DynamicTexture&) = delete;

    Gpu::Texture2DPtr texture;        ///< the colour texture
    Gpu::ShaderResourceViewPtr view;  ///< binds the texture as a shader input
    Gpu::RenderTargetViewPtr target;  ///< binds the texture as a render target
    float width = 0.0f;               ///< as given, fractions kept
    float height = 0.0f;
};

/// Two render textures of one size and the index of the one drawn into now. Scene effects draw into
/// the current texture; screen effects read it, flip, and draw their result into the other.
class RenderTexturePair {
public:
    /// Two cleared textures of the given size; the first is current.
    RenderTexturePair(float width, float height);
    RenderTexturePair(const RenderTexturePair&) = delete;
    RenderTexturePair& operator=(const RenderTexturePair&) = delete;

    /// Makes the other texture current and binds it as the only render target (no depth view).
    void Flip();
    /// The texture drawn into now.
    DynamicTexture& Current() { return *textures[current]; }
    /// Render-target view of the current texture.
    const Gpu::RenderTargetViewPtr& CurrentTarget() const { return textures[current]->target; }
    /// Shader-resource view of the current texture (the picture so far).
    const Gpu::ShaderResourceViewPtr& CurrentView() const { return textures[current]->view; }

    float width = 0.0f;
    float height = 0.0f;
    std::vector<std::unique_ptr<DynamicTexture>> textures;  ///< always exactly two
    int current = 0;                                        ///< index of the texture drawn into now
};
