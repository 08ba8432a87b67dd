// A post-process that runs a script-chosen pixel shader over the picture so far (and one extra image)
// and makes its result the current texture of the pair.
#pragma once

#include <memory>

#include "effects/effect.h"
#include "graphics/constantBuffer.h"

class Shader;
class Texture;

namespace Effects {

class FullScreenShaderEffect : public Effect {
public:
    /// Creates the 16-byte constant block; image and shader come with Load.
    FullScreenShaderEffect();
    ~FullScreenShaderEffect() override;

    /// Loads the image "image" and the shader file "shader"; its entries compile at the first draw.
    bool Load(const pugi::xml_node& node) override;
    /// Reads the current texture (slot 0) and the image (slot 1), flips the pair and draws the shader
    /// into the new current texture; clears to hot pink without flipping when the shader cannot be
    /// bound.
    void Render(double localTime, RenderTexturePair* target) override;

    /// Layout of the constant block the shader reads at b0.
    struct Constants {
        float time;  ///< the local time
        float padding[3];
    };
    static_assert(sizeof(Constants) == 16);

private:
    std::unique_ptr<Texture> m_image;
    std::unique_ptr<Shader> m_shader;
    ConstantBuffer m_constants;
};

}  // namespace Effects
