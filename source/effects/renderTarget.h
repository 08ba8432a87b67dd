// A group of effects drawn into a render-texture pair of its own and then blended over the picture
// of its parent, so that a whole group, post-processes included, is layered over what came before.
#pragma once

#include <memory>

#include "effects/effect.h"
#include "graphics/dynamicTexture.h"
#include "graphics/shader.h"

namespace Effects {

class RenderTarget : public Effect {
public:
    /// Compiles "final.fx"'s "VS" and "PS_WithAlpha"; the children's pair (cleared once, never again)
    /// is made at the render size of now when it is first drawn into or asked for.
    RenderTarget();

    /// While `time` lies in the window: the children draw into the own pair first, on the local clock,
    /// then the result is composited over `target`.
    void Update(double time, RenderTexturePair* target) override;
    /// Blends the children's picture over the current texture of `target` without flipping it;
    /// clears the back buffer to wheat when the compositing shader cannot be bound.
    void Render(double localTime, RenderTexturePair* target) override;

    /// The pair the children draw into (its contents persist from frame to frame).
    const RenderTexturePair& GetChildrenPair() const { return Pair(); }

private:
    /// The children's pair, made on first use: a group that is not shown in the first frame costs the
    /// start-up nothing, and a fresh pair is as cleared as one made at load.
    RenderTexturePair& Pair() const;

    Shader m_shader;
    float m_width;
    float m_height;
    mutable std::unique_ptr<RenderTexturePair> m_pair;
};

}  // namespace Effects
