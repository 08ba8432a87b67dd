// One block of text in a bitmap font: every character flies in from far away along its own
// direction and settles at its place, one character every 0.2 seconds, over a soft black shadow one
// pixel down and right of it. The parameters are read once, when the effect loads.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "effects/effect.h"
#include "graphics/spriteRenderer.h"

namespace Effects {

class TextWriter : public Effect {
public:
    /// The most characters drawn: two sprites each, a shadow and a glyph.
    static constexpr uint32_t kMaxCharacters = SpriteRenderer::kCapacity / 2;

    TextWriter();
    ~TextWriter() override;

    /// Reads the font, cell sizes, text, position and colour at time 0 and makes a new sprite
    /// renderer; with cell or grid sizes that are not positive, or a position or colour that is not
    /// finite, it logs why and the effect draws nothing.
    bool Load(const pugi::xml_node& node) override;
    /// Draws every character at its place in its flight at the local time.
    void Render(double localTime, RenderTexturePair* target) override;

    /// The sprites of the frame at `localTime`: a shadow, then its glyph, for each of the first
    /// kMaxCharacters characters other than carriage returns.
    void BuildSprites(double localTime, std::vector<SpriteInstance>& sprites) const;

    /// The renderer; null before Load and after a Load that refused the parameters.
    const SpriteRenderer* GetRenderer() const { return m_renderer.get(); }

private:
    std::unique_ptr<SpriteRenderer> m_renderer;
    int m_cellWidth = 0;
    int m_cellHeight = 0;
    std::string m_text;
    Vec2 m_position;
    Vec4 m_colour;
    /// The frame's sprites; kept between frames only so that its storage is reused.
    std::vector<SpriteInstance> m_sprites;
};

}  // namespace Effects
