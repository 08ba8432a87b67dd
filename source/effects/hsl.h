// A colour-grading post-process: turns the hue, scales the saturation and the luminance of the
// picture so far, drawing into the other texture of the pair.
#pragma once

#include <memory>

#include "effects/effect.h"
#include "graphics/constantBuffer.h"

class Shader;

namespace Effects {

class HSL : public Effect {
public:
    /// Creates the 16-byte constant block; the shader comes with Load.
    HSL();
    ~HSL() override;

    /// Compiles "hsl.fx" ("VS" and "PS"); failures are only logged.
    bool Load(const pugi::xml_node& node) override;
    /// Reads the current texture, flips the pair and draws the graded picture into the new current
    /// texture; clears the current texture to hot pink without flipping when the shader cannot be
    /// bound.
    void Render(double localTime, RenderTexturePair* target) override;

    /// Layout of the constant block the shader reads at b0.
    struct Constants {
        float hue;         ///< "hue", 0 where absent
        float saturation;  ///< "saturation", 1 where absent
        float luminance;   ///< "luminance", 1 where absent
        float padding;
    };
    static_assert(sizeof(Constants) == 16);

    /// The constant block as last uploaded.
    const ConstantBuffer& GetConstants() const { return m_constants; }

private:
    std::unique_ptr<Shader> m_shader;
    ConstantBuffer m_constants;
};

}  // namespace Effects
