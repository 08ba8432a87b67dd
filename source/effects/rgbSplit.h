// A post-process that pushes the colour channels of the picture so far apart along one keyframed
// direction, each by its own number of texels, drawing into the other texture of the pair.
#pragma once

#include <memory>

#include "effects/effect.h"
#include "graphics/constantBuffer.h"

class Shader;

namespace Effects {

class RGBSplit : public Effect {
public:
    /// Creates the 32-byte constant block; the shader comes with Load.
    RGBSplit();
    ~RGBSplit() override;

    /// Compiles "rgbsplit.fx" ("VS" and "PS"); failures are only logged.
    bool Load(const pugi::xml_node& node) override;
    /// Reads the current texture, flips the pair and draws the split picture into the new current
    /// texture; clears the current texture to hot pink without flipping when the shader cannot be
    /// bound.
    void Render(double localTime, RenderTexturePair* target) override;

    /// Layout of the constant block the shader reads at b0.
    struct Constants {
        float stepX;  ///< one texel along the direction, in texture units
        float stepY;
        float mix;  ///< "mix"
        float padding0;
        float offsets[3];  ///< "offsets": texels along the direction for red, green and blue
        float padding1;
    };
    static_assert(sizeof(Constants) == 32);

    /// One texel of the 800 by 600 picture along `angleDegrees` (0 along +x, 90 along +y), in
    /// texture units.
    static void DirectionStep(float angleDegrees, float& x, float& y);

    /// The constant block as last uploaded.
    const ConstantBuffer& GetConstants() const { return m_constants; }

private:
    std::unique_ptr<Shader> m_shader;
    ConstantBuffer m_constants;
};

}  // namespace Effects
