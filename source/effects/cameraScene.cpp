#include "effects/cameraScene.h"

#include "graphics/camera.h"
#include "main/device.h"

namespace Effects {

void CameraScene::Render(double localTime, RenderTexturePair*) {
    Camera_SetAnchor(GetParam("anchor")->GetAsVec3(localTime));
    Camera_SetDistance(static_cast<float>(GetParam("distance")->GetAsDouble(localTime)));
    Camera_SetRotation(GetParam("rotation")->GetAsVec3(localTime));
    Camera_SetFieldOfView(static_cast<float>(GetParam("fov")->GetAsDouble(localTime)));
    // Without a shift of its own a scene takes none, whatever an earlier scene left.
    const Vec2 post = HasParam("postPosition") ? GetParam("postPosition")->GetAsVec2(localTime) : Vec2{};
    Camera_SetPostPosition(post);
    g_graphics.context->ClearDepthStencilView(g_graphics.depthView, Gpu::CLEAR_DEPTH, 1.0f, 0);
}

}  // namespace Effects
