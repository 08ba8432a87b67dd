// A generator that runs a script-chosen pixel shader over the whole picture, fed with up to two
// images and six keyframed numbers; it draws into the current texture without flipping.
#pragma once

#include <memory>

#include "effects/effect.h"
#include "graphics/constantBuffer.h"

class Shader;
class Texture;

namespace Effects {

class FullScreenShader : public Effect {
public:
    /// Creates the 32-byte constant block; images and shader come with Load.
    FullScreenShader();
    ~FullScreenShader() override;

    /// Loads the two images ("image" before "image1", then "image2"), the shader file "shader" and
    /// its "VS" and "pixelShader" entries; only a failing base load fails it.
    bool Load(const pugi::xml_node& node) override;
    /// Draws the shader over the current texture with the local time and "float1".."float6" in the
    /// constant block; clears it to hot pink when the shader cannot be bound.
    void Render(double localTime, RenderTexturePair* target) override;

    /// Layout of the constant block the shader reads at b0.
    struct Constants {
        float time;       ///< the local time
        float values[6];  ///< "float1" to "float6", 0 where absent
        float padding;
    };
    static_assert(sizeof(Constants) == 32);

private:
    std::unique_ptr<Texture> m_firstImage;
    std::unique_ptr<Texture> m_secondImage;
    std::unique_ptr<Shader> m_shader;
    ConstantBuffer m_constants;
};

}  // namespace Effects
