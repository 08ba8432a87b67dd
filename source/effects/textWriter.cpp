#include "effects/textWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "system/log.h"

namespace Effects {

namespace {

constexpr char kCarriageReturn = 13;

bool IsFinite(Vec2 v) {
    return std::isfinite(v.x) && std::isfinite(v.y);
}
bool IsFinite(Vec4 v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && std::isfinite(v.w);
}

}  // namespace

TextWriter::TextWriter() = default;

TextWriter::~TextWriter() = default;

bool TextWriter::Load(const pugi::xml_node& node) {
    if (!Effect::Load(node)) return false;
    const std::string texture = GetParam("texture")->GetAsString();
    m_cellWidth = GetParam("charWidth")->GetAsInt();
    m_cellHeight = GetParam("charHeight")->GetAsInt();
    const int cellsAcross = GetParam("charsWide")->GetAsInt();
    const int cellsDown = GetParam("charsHigh")->GetAsInt();
    m_text = GetParam("text")->GetAsString();
    m_position = GetParam("pos")->GetAsVec2(0.0);
    m_colour = GetParam("colour")->GetAsVec4(0.0);

    m_renderer.reset();
    if (m_cellWidth <= 0 || m_cellHeight <= 0 || cellsAcross <= 0 || cellsDown <= 0) {
        VLOG("Effects::TextWriter::Load",
             "charWidth, charHeight, charsWide and charsHigh must be positive (they are %d, %d, %d, %d); the "
             "text is not drawn",
             m_cellWidth, m_cellHeight, cellsAcross, cellsDown);
        return true;
    }
    if (!IsFinite(m_position) || !IsFinite(m_colour)) {
        VLOG("Effects::TextWriter::Load", "pos and colour must be finite numbers; the text is not drawn");
        return true;
    }
    const size_t characters = m_text.size() - std::count(m_text.begin(), m_text.end(), kCarriageReturn);
    if (characters > kMaxCharacters) {
        VLOG("Effects::TextWriter::Load", "The text has %zu characters; only the first %u are drawn",
             characters, kMaxCharacters);
    }
    m_renderer = std::make_unique<SpriteRenderer>(texture, m_cellWidth, m_cellHeight, cellsAcross, cellsDown);
    return true;
}

void TextWriter::BuildSprites(double t, std::vector<SpriteInstance>& sprites) const {
    sprites.clear();
    if (!std::isfinite(t)) return;
    // Sums in float: a line height near the int's limit must not overflow.
    float x = m_position.x;
    float y = m_position.y;
    float k = 0.0f;
    for (const char c : m_text) {
        if (c == kCarriageReturn) {
            x = m_position.x;
            y += static_cast<float>(m_cellHeight) + 4.0f;
            continue;
        }
        if (sprites.size() == SpriteRenderer::kCapacity) break;
        const float delay = k / 5.0f;
        const float progress = static_cast<float>(std::min(t - delay, 1.0));
        const float left = 1.0f - progress;
        const float placeX = x + std::sin(delay) * 1000.0f * left;
        const float placeY = y + std::cos(delay) * 1000.0f * left;
        // The index is the byte read as a signed 8-bit number; the shader wraps it into the grid.
        const int32_t cell = static_cast<int8_t>(c);
        SpriteInstance shadow;
        shadow.x = placeX;
        shadow.y = placeY;
        shadow.colour = {0.0f, 0.0f, 0.0f, 0.5f};
        shadow.scale = 1.0f;
        shadow.rotation = 0.0f;
        shadow.cell = cell;
        sprites.push_back(shadow);
        SpriteInstance glyph = shadow;
        glyph.x = placeX - 1.0f;
        glyph.y = placeY - 1.0f;
        glyph.colour = m_colour;
        sprites.push_back(glyph);
        x += static_cast<float>(m_cellWidth);
        k += 1.0f;
    }
}

void TextWriter::Render(double localTime, RenderTexturePair* target) {
    if (!m_renderer) return;
    BuildSprites(localTime, m_sprites);
    if (m_sprites.empty()) return;
    m_renderer->SetInstances(m_sprites.data(), static_cast<uint32_t>(m_sprites.size()));
    m_renderer->Render(target);
}

}  // namespace Effects
