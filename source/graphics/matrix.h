// The 4x4 matrices of the 3D scenes, in the row-vector convention of the whole show: a point p is
// transformed as p x M, the translation sits in the fourth row, and A * B applies A first. Matrices go
// to shaders transposed, so that HLSL's default column-major reading sees M itself.
#pragma once

#include "system/params.h"

struct Matrix {
    float m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};

    /// The identity.
    static Matrix Identity() { return Matrix{}; }
    /// Translation by (x, y, z).
    static Matrix Translation(float x, float y, float z);
    /// Scaling by (x, y, z) along the axes.
    static Matrix Scaling(float x, float y, float z);
    /// Uniform scaling by s.
    static Matrix Scaling(float s) { return Scaling(s, s, s); }
    /// Rotation about the X axis by `radians` (rows (1,0,0), (0,c,s), (0,-s,c)).
    static Matrix RotationX(float radians);
    /// Rotation about the Y axis by `radians` (rows (c,0,-s), (0,1,0), (s,0,c)).
    static Matrix RotationY(float radians);
    /// Rotation about the Z axis by `radians` (rows (c,s,0), (-s,c,0), (0,0,1)).
    static Matrix RotationZ(float radians);
    /// Roll about Z first, then pitch about X, then yaw about Y, built through the quaternion of the
    /// three angles (radians).
    static Matrix RotationRollPitchYaw(float pitch, float yaw, float roll);
    /// The rotation of a script's "rotation" vector in degrees: x turns about Y (yaw), y about X
    /// (pitch), z about Z (roll), applied roll first.
    static Matrix RotationDegrees(Vec3 degrees);

    /// The transpose, the form in which matrices are written into GPU buffers.
    Matrix Transposed() const;
    /// The point (x, y, z, 1) transformed: x, y, z of the result (no division by w).
    Vec3 TransformPoint(Vec3 p) const;
    /// The point (x, y, z, 1) transformed, all four components.
    Vec4 TransformPoint4(Vec3 p) const;

    bool operator==(const Matrix&) const = default;
};

/// The product: `a` applied first, then `b`.
Matrix operator*(const Matrix& a, const Matrix& b);

/// Degrees to radians as the show converts them (the float 0.017453292).
constexpr float kRadiansPerDegree = 0.017453292f;
