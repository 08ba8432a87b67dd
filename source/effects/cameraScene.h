// The grouping effect of a 3D scene: while active it points the show's camera from its keyframed
// parameters and clears the depth buffer, and its children then draw with that camera.
#pragma once

#include "effects/effect.h"

namespace Effects {

class CameraScene : public Effect {
public:
    /// Writes "anchor", "distance", "rotation", "fov" and "postPosition" ((0, 0) without it) at the
    /// local time into the camera, then clears the shared depth buffer to 1.
    void Render(double localTime, RenderTexturePair* target) override;
};

}  // namespace Effects
