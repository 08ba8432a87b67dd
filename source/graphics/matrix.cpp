#include "graphics/matrix.h"

#include <cmath>

Matrix Matrix::Translation(float x, float y, float z) {
    Matrix t;
    t.m[3][0] = x;
    t.m[3][1] = y;
    t.m[3][2] = z;
    return t;
}

Matrix Matrix::Scaling(float x, float y, float z) {
    Matrix s;
    s.m[0][0] = x;
    s.m[1][1] = y;
    s.m[2][2] = z;
    return s;
}

Matrix Matrix::RotationX(float radians) {
    const float c = std::cos(radians), s = std::sin(radians);
    Matrix r;
    r.m[1][1] = c;
    r.m[1][2] = s;
    r.m[2][1] = -s;
    r.m[2][2] = c;
    return r;
}

Matrix Matrix::RotationY(float radians) {
    const float c = std::cos(radians), s = std::sin(radians);
    Matrix r;
    r.m[0][0] = c;
    r.m[0][2] = -s;
    r.m[2][0] = s;
    r.m[2][2] = c;
    return r;
}

Matrix Matrix::RotationZ(float radians) {
    const float c = std::cos(radians), s = std::sin(radians);
    Matrix r;
    r.m[0][0] = c;
    r.m[0][1] = s;
    r.m[1][0] = -s;
    r.m[1][1] = c;
    return r;
}

Matrix Matrix::RotationRollPitchYaw(float pitch, float yaw, float roll) {
    // The quaternion of roll, then pitch, then yaw, from the half angles.
    const float sp = std::sin(pitch * 0.5f), cp = std::cos(pitch * 0.5f);
    const float sy = std::sin(yaw * 0.5f), cy = std::cos(yaw * 0.5f);
    const float sr = std::sin(roll * 0.5f), cr = std::cos(roll * 0.5f);
    const float x = sp * cy * cr + cp * sy * sr;
    const float y = cp * sy * cr - sp * cy * sr;
    const float z = cp * cy * sr - sp * sy * cr;
    const float w = cp * cy * cr + sp * sy * sr;

    Matrix r;
    r.m[0][0] = 1.0f - 2.0f * (y * y + z * z);
    r.m[0][1] = 2.0f * (x * y + z * w);
    r.m[0][2] = 2.0f * (x * z - y * w);
    r.m[1][0] = 2.0f * (x * y - z * w);
    r.m[1][1] = 1.0f - 2.0f * (x * x + z * z);
    r.m[1][2] = 2.0f * (y * z + x * w);
    r.m[2][0] = 2.0f * (x * z + y * w);
    r.m[2][1] = 2.0f * (y * z - x * w);
    r.m[2][2] = 1.0f - 2.0f * (x * x + y * y);
    return r;
}

Matrix Matrix::RotationDegrees(Vec3 degrees) {
    return RotationRollPitchYaw(degrees.y * kRadiansPerDegree, degrees.x * kRadiansPerDegree,
                                degrees.z * kRadiansPerDegree);
}

Matrix Matrix::Transposed() const {
    Matrix t;
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) t.m[row][column] = m[column][row];
    }
    return t;
}

Vec3 Matrix::TransformPoint(Vec3 p) const {
    const Vec4 q = TransformPoint4(p);
    return {q.x, q.y, q.z};
}

Vec4 Matrix::TransformPoint4(Vec3 p) const {
    Vec4 q;
    q.x = p.x * m[0][0] + p.y * m[1][0] + p.z * m[2][0] + m[3][0];
    q.y = p.x * m[0][1] + p.y * m[1][1] + p.z * m[2][1] + m[3][1];
    q.z = p.x * m[0][2] + p.y * m[1][2] + p.z * m[2][2] + m[3][2];
    q.w = p.x * m[0][3] + p.y * m[1][3] + p.z * m[2][3] + m[3][3];
    return q;
}

Matrix operator*(const Matrix& a, const Matrix& b) {
    Matrix product;
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += a.m[row][k] * b.m[k][column];
            product.m[row][column] = sum;
        }
    }
    return product;
}
