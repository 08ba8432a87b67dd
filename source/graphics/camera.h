// The show's one 3D camera: an orbit around an anchor, written by the camera scenes and read by every
// effect that draws in 3D. Matrices are rebuilt only when an input really changed.
#pragma once

#include "graphics/matrix.h"
#include "system/params.h"

/// The camera's inputs and the matrices made from them (row-vector convention).
struct CameraState {
    Vec3 rotation;              ///< orbit angles in degrees: x yaw, y pitch, z roll
    float distance = 0.0f;      ///< of the eye from the orbit centre
    Vec3 anchor;                ///< translation applied to the world before the rotation
    Vec2 postPosition;          ///< shift of the image in normalized device coordinates
    float fieldOfView = 70.0f;  ///< vertical, in degrees
    float farPlane = 2000.0f;   ///< never changed
    Matrix view;
    bool viewDirty = true;
    Matrix projection;
    bool projectionDirty = true;
    Matrix viewProjection;
    Vec3 eyePosition;
};

/// The camera; lives for the whole run and is never reset by the show.
extern CameraState g_camera;

/// Near clip distance and aspect ratio of the projection, both fixed.
constexpr float kCameraNear = 1.0f;
constexpr float kCameraAspect = 1.3333334f;

/// Stores the rotation (degrees) and marks the view dirty, if any component differs.
void Camera_SetRotation(Vec3 rotation);
/// Stores the eye distance and marks the view dirty, if it differs.
void Camera_SetDistance(float distance);
/// Stores the anchor and marks the view dirty, if any component differs.
void Camera_SetAnchor(Vec3 anchor);
/// Stores the vertical field of view (degrees) and marks the projection dirty, if it differs.
void Camera_SetFieldOfView(float degrees);
/// Stores the post position and marks the projection dirty, if any component differs.
void Camera_SetPostPosition(Vec2 position);
/// Puts the camera back in its state at program start (tests).
void Camera_Reset();

/// Rebuilds the dirty matrices, the view-projection and the eye position; clears both flags.
void UpdateCamera();
