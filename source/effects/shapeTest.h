// Short shape animations played one after another from a script of letters: each letter of
// "sequence" is one figure of two seconds of local time, from "A" to "I", added onto the picture.
#pragma once

#include <string>
#include <vector>

#include "effects/shapeEffect.h"

namespace Effects {

class ShapeTest : public ShapeEffect {
public:
    /// Entries of the noise tables; the tables hold two more repeated at the end.
    static constexpr int kNoiseSize = 1024;

    /// Builds the gradient noise table.
    ShapeTest();

    /// Draws the figure of the letter due at the local time with the additive blend; nothing when no
    /// letter is due or it has no figure.
    void Render(double localTime, RenderTexturePair* target) override;

    /// The figure of `letter` at phase `h` (0 to 1 over its two seconds); empty for letters without one.
    void BuildFigure(char letter, float h, std::vector<ShapeInstance>& shapes) const;
    /// The figure due at `localTime` in `sequence`: one letter per two seconds from time 0.
    void BuildShapes(double localTime, const std::string& sequence, std::vector<ShapeInstance>& shapes) const;
    /// Four octaves of 1D gradient noise at x (some figures wobble by it).
    float Noise(float x) const;

    /// The tables the noise is read from, in the order they were drawn.
    struct NoiseTable {
        int permutation[kNoiseSize + 2];
        float gradient[kNoiseSize + 2];
    };
    const NoiseTable& GetNoiseTable() const { return m_noise; }

private:
    NoiseTable m_noise;
};

}  // namespace Effects
