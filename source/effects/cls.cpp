#include "effects/cls.h"

#include "graphics/dynamicTexture.h"
#include "graphics/sharedGraphics.h"

namespace Effects {

void CLS::Render(double localTime, RenderTexturePair* target) {
    Vec4 colour{0.0f, 0.0f, 0.0f, 1.0f};
    if (HasParam("colour")) colour = GetParam("colour")->GetAsVec4(localTime);
    const float rgba[4] = {colour.x, colour.y, colour.z, colour.w};
    g_graphics.context->ClearRenderTargetView(target->CurrentTarget(), rgba);
}

}  // namespace Effects
