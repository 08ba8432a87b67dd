// A colour-grading post-process: maps every colour of the picture so far through a 3D look-up table
// from a ".cube" file (reloaded when the file is edited), blended by a keyframed strength.
#pragma once

#include <memory>

#include "effects/effect.h"
#include "graphics/constantBuffer.h"

class Shader;
class Texture3D;

namespace Effects {

class Lut3D : public Effect {
public:
    /// Creates the 16-byte constant block; table and shader come with Load.
    Lut3D();
    ~Lut3D() override;

    /// Loads the table "lutName" and compiles "lut3D.fx" ("VS" and "PS"); failures are only logged.
    bool Load(const pugi::xml_node& node) override;
    /// Reads the table (slot 0) and the current texture (slot 1), flips the pair and draws the graded
    /// picture into the new current texture, then unbinds both slots; clears the current texture to
    /// light sea green without flipping when the shader cannot be bound.
    void Render(double localTime, RenderTexturePair* target) override;

    /// Layout of the constant block the shader reads at b0.
    struct Constants {
        float strength;  ///< 0: the picture unchanged, 1: fully graded
        float padding[3];
    };
    static_assert(sizeof(Constants) == 16);

    /// The look-up table (null before Load).
    const Texture3D* GetTable() const { return m_table.get(); }

private:
    std::unique_ptr<Texture3D> m_table;
    std::unique_ptr<Shader> m_shader;
    ConstantBuffer m_constants;
};

}  // namespace Effects
