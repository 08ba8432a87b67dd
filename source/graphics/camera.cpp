#include "graphics/camera.h"

#include <cmath>

CameraState g_camera;

namespace {

bool Differs(Vec3 a, Vec3 b) {
    return a.x != b.x || a.y != b.y || a.z != b.z;
}

}  // namespace

void Camera_SetRotation(Vec3 rotation) {
    if (!Differs(rotation, g_camera.rotation)) return;
    g_camera.rotation = rotation;
    g_camera.viewDirty = true;
}

void Camera_SetDistance(float distance) {
    if (distance == g_camera.distance) return;
    g_camera.distance = distance;
    g_camera.viewDirty = true;
}

void Camera_SetAnchor(Vec3 anchor) {
    if (!Differs(anchor, g_camera.anchor)) return;
    g_camera.anchor = anchor;
    g_camera.viewDirty = true;
}

void Camera_SetFieldOfView(float degrees) {
    if (degrees == g_camera.fieldOfView) return;
    g_camera.fieldOfView = degrees;
    g_camera.projectionDirty = true;
}

void Camera_SetPostPosition(Vec2 position) {
    if (position.x == g_camera.postPosition.x && position.y == g_camera.postPosition.y) return;
    g_camera.postPosition = position;
    g_camera.projectionDirty = true;
}

void Camera_Reset() {
    g_camera = CameraState{};
}

void UpdateCamera() {
    CameraState& camera = g_camera;
    if (camera.viewDirty) {
        const Matrix anchor = Matrix::Translation(camera.anchor.x, camera.anchor.y, camera.anchor.z);
        const Matrix rotation = Matrix::RotationDegrees(camera.rotation);
        const Matrix distance = Matrix::Translation(0.0f, 0.0f, -camera.distance);
        camera.view = anchor * rotation * distance;
        // The eye is the view's translation taken back through its rotation.
        const float* t = camera.view.m[3];
        for (int i = 0; i < 3; ++i) {
            const float* r = camera.view.m[i];
            (&camera.eyePosition.x)[i] = -(r[0] * t[0] + r[1] * t[1] + r[2] * t[2]);
        }
    }
    if (camera.projectionDirty) {
        const float f = camera.fieldOfView * kRadiansPerDegree;
        const float h = std::cos(f * 0.5f) / std::sin(f * 0.5f);
        const float w = h / kCameraAspect;
        const float q = camera.farPlane / (kCameraNear - camera.farPlane);
        Matrix p;
        p.m[0][0] = w;
        p.m[1][1] = h;
        p.m[2][2] = q;
        p.m[2][3] = -1.0f;
        p.m[3][2] = q * kCameraNear;
        p.m[3][3] = 0.0f;
        camera.projection = p * Matrix::Translation(camera.postPosition.x, camera.postPosition.y, 0.0f);
    }
    if (camera.viewDirty || camera.projectionDirty) {
        camera.viewProjection = camera.view * camera.projection;
        camera.viewDirty = false;
        camera.projectionDirty = false;
    }
}
