// The small linear algebra of the rigid-body simulator: 3-vectors, 3x3 matrices stored as columns,
// quaternions, rigid transforms and axis-aligned boxes.
//
// Every operation evaluates in one fixed order so that a build without floating-point contraction gives
// the same bits on every run; do not reorder sums here without expecting the stored physics hashes to
// change.
//
// Sections: Vec3 | Float4 | Mat3 | Quaternion | Transform | Aabb
#pragma once

#include <cmath>

namespace Physics {

constexpr float kMaxFloat = 3.40282347e38f;

// ---------------------------------------------------------------------------------------------- Vec3

struct Vec3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    float& operator[](int i) { return (&x)[i]; }
    float operator[](int i) const { return (&x)[i]; }

    Vec3& operator+=(Vec3 v) {
        x += v.x;
        y += v.y;
        z += v.z;
        return *this;
    }
    Vec3& operator-=(Vec3 v) {
        x -= v.x;
        y -= v.y;
        z -= v.z;
        return *this;
    }
    Vec3& operator*=(float s) {
        x *= s;
        y *= s;
        z *= s;
        return *this;
    }
};

inline Vec3 operator+(Vec3 a, Vec3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vec3 operator-(Vec3 a, Vec3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vec3 operator-(Vec3 a) {
    return {-a.x, -a.y, -a.z};
}
inline Vec3 operator*(Vec3 a, float s) {
    return {a.x * s, a.y * s, a.z * s};
}
inline Vec3 operator*(float s, Vec3 a) {
    return {s * a.x, s * a.y, s * a.z};
}

inline float Dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vec3 Cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float Length(Vec3 v) {
    return std::sqrt(Dot(v, v));
}
/// The vector scaled to unit length; a zero vector comes back unchanged.
inline Vec3 Normalize(Vec3 v) {
    float length = Length(v);
    if (length == 0.0f) return v;
    return v * (1.0f / length);
}
inline bool IsFinite(Vec3 v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}
inline Vec3 Abs(Vec3 v) {
    return {std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)};
}
inline float Min(float a, float b) {
    return a < b ? a : b;
}
inline float Max(float a, float b) {
    return a > b ? a : b;
}
inline Vec3 Min(Vec3 a, Vec3 b) {
    return {Min(a.x, b.x), Min(a.y, b.y), Min(a.z, b.z)};
}
inline Vec3 Max(Vec3 a, Vec3 b) {
    return {Max(a.x, b.x), Max(a.y, b.y), Max(a.z, b.z)};
}
/// 1/x, or 0 where x is 0 (the effective mass of a constraint that nothing can move).
inline float Invert(float x) {
    return x != 0.0f ? 1.0f / x : 0.0f;
}

// -------------------------------------------------------------------------------------------- Float4

/// Three floats in the first lanes of one machine vector, the fourth lane kept at zero. The solver's
/// inner loop works on these: each lane's sum or product is the same single operation a Vec3 would
/// do, so the bits stay those of the Vec3 arithmetic, in a third of the instructions.
using Float4 = float __attribute__((vector_size(16)));

inline Float4 ToFloat4(Vec3 v) {
    return Float4{v.x, v.y, v.z, 0.0f};
}
inline Vec3 ToVec3(Float4 v) {
    return {v[0], v[1], v[2]};
}
/// The dot product of the first three lanes, summed in the order Dot sums.
inline float Dot(Float4 a, Float4 b) {
    const Float4 p = a * b;
    return p[0] + p[1] + p[2];
}

// ---------------------------------------------------------------------------------------------- Mat3

/// A 3x3 matrix held as its three columns: M·v = ex·v.x + ey·v.y + ez·v.z.
struct Mat3 {
    Vec3 ex{1.0f, 0.0f, 0.0f};
    Vec3 ey{0.0f, 1.0f, 0.0f};
    Vec3 ez{0.0f, 0.0f, 1.0f};

    Vec3& Column(int i) { return (&ex)[i]; }
    Vec3 Column(int i) const { return (&ex)[i]; }
    Vec3 Row(int i) const { return {ex[i], ey[i], ez[i]}; }
    /// Element at row `row`, column `column`.
    float At(int row, int column) const { return Column(column)[row]; }
};

inline Mat3 Diagonal(float a, float b, float c) {
    return {{a, 0.0f, 0.0f}, {0.0f, b, 0.0f}, {0.0f, 0.0f, c}};
}
inline Mat3 Diagonal(float a) {
    return Diagonal(a, a, a);
}
inline Mat3 Identity() {
    return Diagonal(1.0f);
}

inline Vec3 Mul(const Mat3& m, Vec3 v) {
    return {m.ex.x * v.x + m.ey.x * v.y + m.ez.x * v.z, m.ex.y * v.x + m.ey.y * v.y + m.ez.y * v.z,
            m.ex.z * v.x + m.ey.z * v.y + m.ez.z * v.z};
}
/// Mᵀ·v.
inline Vec3 MulT(const Mat3& m, Vec3 v) {
    return {Dot(m.ex, v), Dot(m.ey, v), Dot(m.ez, v)};
}
inline Mat3 Mul(const Mat3& a, const Mat3& b) {
    return {Mul(a, b.ex), Mul(a, b.ey), Mul(a, b.ez)};
}
/// Aᵀ·B.
inline Mat3 MulT(const Mat3& a, const Mat3& b) {
    return {MulT(a, b.ex), MulT(a, b.ey), MulT(a, b.ez)};
}
inline Mat3 Transpose(const Mat3& m) {
    return {m.Row(0), m.Row(1), m.Row(2)};
}
inline Mat3 operator+(const Mat3& a, const Mat3& b) {
    return {a.ex + b.ex, a.ey + b.ey, a.ez + b.ez};
}
inline Mat3 operator-(const Mat3& a, const Mat3& b) {
    return {a.ex - b.ex, a.ey - b.ey, a.ez - b.ez};
}
inline Mat3 operator*(const Mat3& a, float s) {
    return {a.ex * s, a.ey * s, a.ez * s};
}
/// u·vᵀ.
inline Mat3 OuterProduct(Vec3 u, Vec3 v) {
    return {u * v.x, u * v.y, u * v.z};
}

inline bool IsFinite(const Mat3& m) {
    return IsFinite(m.ex) && IsFinite(m.ey) && IsFinite(m.ez);
}

/// The inverse through the adjugate; a singular matrix gives the zero matrix.
inline Mat3 Inverse(const Mat3& m) {
    // Rows of the inverse are the cross products of pairs of columns, over the determinant.
    Vec3 r0 = Cross(m.ey, m.ez);
    Vec3 r1 = Cross(m.ez, m.ex);
    Vec3 r2 = Cross(m.ex, m.ey);
    float det = Dot(m.ex, r0);
    if (det == 0.0f) return Diagonal(0.0f);
    float inv = 1.0f / det;
    return Transpose(Mat3{r0 * inv, r1 * inv, r2 * inv});
}

// ---------------------------------------------------------------------------------------- Quaternion

struct Quaternion {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 1.0f;

    /// Rotation by `radians` about `axis` (expected unit length).
    static Quaternion FromAxisAngle(Vec3 axis, float radians) {
        float half = 0.5f * radians;
        float s = std::sin(half);
        return {s * axis.x, s * axis.y, s * axis.z, std::cos(half)};
    }

    /// The rotation matrix of a unit quaternion.
    Mat3 ToMat3() const {
        float x2 = x + x, y2 = y + y, z2 = z + z;
        float xx = x * x2, xy = x * y2, xz = x * z2, xw = w * x2;
        float yy = y * y2, yz = y * z2, yw = w * y2;
        float zz = z * z2, zw = w * z2;
        return {{1.0f - yy - zz, xy + zw, xz - yw},
                {xy - zw, 1.0f - xx - zz, yz + xw},
                {xz + yw, yz - xw, 1.0f - xx - yy}};
    }
};

inline Quaternion operator*(const Quaternion& a, const Quaternion& b) {
    return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y + a.y * b.w + a.z * b.x - a.x * b.z,
            a.w * b.z + a.z * b.w + a.x * b.y - a.y * b.x, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

inline bool IsFinite(const Quaternion& q) {
    return std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z) && std::isfinite(q.w);
}

/// Unit length; a zero quaternion is left as it is, and so is one too long to scale meaningfully.
inline Quaternion Normalize(Quaternion q) {
    float d = q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z;
    if (d == 0.0f) return q;
    float inv = 1.0f / std::sqrt(d);
    if (inv > 1.0e-8f) {
        q.x *= inv;
        q.y *= inv;
        q.z *= inv;
        q.w *= inv;
    }
    return q;
}

// ----------------------------------------------------------------------------------------- Transform

struct Transform {
    Vec3 position;
    Mat3 rotation;
};

inline Vec3 Mul(const Transform& t, Vec3 v) {
    return Mul(t.rotation, v) + t.position;
}
/// The inverse transform applied to a point.
inline Vec3 MulT(const Transform& t, Vec3 v) {
    return MulT(t.rotation, v - t.position);
}
/// `a` after `b`: a point of b's space to a's parent space.
inline Transform Mul(const Transform& a, const Transform& b) {
    return {Mul(a.rotation, b.position) + a.position, Mul(a.rotation, b.rotation)};
}

// ---------------------------------------------------------------------------------------------- Aabb

struct Aabb {
    Vec3 min;
    Vec3 max;
};

/// Whether the boxes overlap; touching counts.
inline bool Overlaps(const Aabb& a, const Aabb& b) {
    if (a.max.x < b.min.x || a.min.x > b.max.x) return false;
    if (a.max.y < b.min.y || a.min.y > b.max.y) return false;
    if (a.max.z < b.min.z || a.min.z > b.max.z) return false;
    return true;
}
/// Whether `inner` lies inside `outer` (faces may coincide).
inline bool Contains(const Aabb& outer, const Aabb& inner) {
    return outer.min.x <= inner.min.x && outer.min.y <= inner.min.y && outer.min.z <= inner.min.z &&
           inner.max.x <= outer.max.x && inner.max.y <= outer.max.y && inner.max.z <= outer.max.z;
}
inline Aabb Combine(const Aabb& a, const Aabb& b) {
    return {Min(a.min, b.min), Max(a.max, b.max)};
}
inline float SurfaceArea(const Aabb& a) {
    float x = a.max.x - a.min.x;
    float y = a.max.y - a.min.y;
    float z = a.max.z - a.min.z;
    return 2.0f * (x * y + y * z + z * x);
}

}  // namespace Physics
