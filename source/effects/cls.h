// The clear that starts a scene: fills the current texture with a keyframeable colour.
#pragma once

#include "effects/effect.h"

namespace Effects {

class CLS : public Effect {
public:
    /// Clears the pair's current texture to "colour" at the local time (opaque black without it).
    void Render(double localTime, RenderTexturePair* target) override;
};

}  // namespace Effects
