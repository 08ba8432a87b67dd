// Sections: feature naming | separating axes | edge contact | face clipping | the test
#include "physics/boxCollision.h"

#include <cmath>

namespace Physics {

namespace {

// -------------------------------------------------------------------------------- feature naming

// The twelve edges of a box are numbered 1..12 (0 means "none"): the axis the edge runs along and the
// signs of the other two coordinates.
uint8_t EdgeId(int axis, const int sign[3]) {
    int o1 = (axis + 1) % 3;
    int o2 = (axis + 2) % 3;
    return uint8_t(1 + axis * 4 + (sign[o1] > 0 ? 1 : 0) + (sign[o2] > 0 ? 2 : 0));
}

struct ClipVertex {
    Vec3 v;
    FeaturePair f{};
};

// ------------------------------------------------------------------------------ separating axes

// A positive separation ends the test; otherwise the deepest-but-least separation of its group wins.
bool TrackFaceAxis(int* axis, int n, float s, float* sMax, Vec3 normal, Vec3* axisNormal) {
    if (s > 0.0f) return true;
    if (s > *sMax) {
        *sMax = s;
        *axis = n;
        *axisNormal = normal;
    }
    return false;
}

// Edge axes are cross products of unit axes and need normalising before they compare with faces.
bool TrackEdgeAxis(int* axis, int n, float s, float* sMax, Vec3 normal, Vec3* axisNormal) {
    if (s > 0.0f) return true;
    float length = Length(normal);
    s = s / length;
    if (s > *sMax) {
        *sMax = s;
        *axis = n;
        *axisNormal = normal * (1.0f / length);
    }
    return false;
}

// --------------------------------------------------------------------------------- edge contact

// The edge of the box farthest along `n`: it runs along the local axis most perpendicular to `n`, and
// the signs of the other two components pick which of the four parallel edges it is.
void SupportEdge(const Transform& tx, Vec3 e, Vec3 n, Vec3* aOut, Vec3* bOut) {
    Vec3 local = MulT(tx.rotation, n);
    Vec3 absN = Abs(local);
    int along;
    if (absN.x > absN.y) {
        along = absN.y > absN.z ? 2 : 1;
    } else {
        along = absN.x > absN.z ? 2 : 0;
    }
    Vec3 a{local.x >= 0.0f ? e.x : -e.x, local.y >= 0.0f ? e.y : -e.y, local.z >= 0.0f ? e.z : -e.z};
    Vec3 b = a;
    b[along] = -b[along];
    *aOut = Mul(tx, a);
    *bOut = Mul(tx, b);
}

// Closest points of the lines through PA-QA and PB-QB; parallel or degenerate edges fall back to the
// first end point.
void EdgesContact(Vec3* ca, Vec3* cb, Vec3 pa, Vec3 qa, Vec3 pb, Vec3 qb) {
    Vec3 da = qa - pa;
    Vec3 db = qb - pb;
    Vec3 r = pa - pb;
    float a = Dot(da, da);
    float e = Dot(db, db);
    float f = Dot(db, r);
    float c = Dot(da, r);
    float b = Dot(da, db);
    float denom = a * e - b * b;
    float ta = denom != 0.0f ? (b * f - c * e) / denom : 0.0f;
    float tb = e != 0.0f ? (b * ta + f) / e : 0.0f;
    *ca = pa + da * ta;
    *cb = pb + db * tb;
}

// -------------------------------------------------------------------------------- face clipping

// The face of the incident box most opposite to `n` (which points from the reference box towards the
// incident one), as four world corners in order around the face, each named by its two edges.
void ComputeIncidentFace(const Transform& itx, Vec3 e, Vec3 n, ClipVertex out[4]) {
    Vec3 d = -MulT(itx.rotation, n);
    Vec3 absD = Abs(d);
    int a;
    if (absD.x > absD.y && absD.x > absD.z) {
        a = 0;
    } else if (absD.y > absD.x && absD.y > absD.z) {
        a = 1;
    } else {
        a = 2;
    }
    int b = (a + 1) % 3;
    int c = (a + 2) % 3;
    static const int kAround[4][2] = {{1, 1}, {-1, 1}, {-1, -1}, {1, -1}};
    int sign[4][3];
    for (int i = 0; i < 4; ++i) {
        sign[i][a] = d[a] > 0.0f ? 1 : -1;
        sign[i][b] = kAround[i][0];
        sign[i][c] = kAround[i][1];
    }
    // Consecutive corners differ in one coordinate, which is the axis the edge between them runs along.
    auto edgeBetween = [&](int i, int j) { return EdgeId(sign[i][b] != sign[j][b] ? b : c, sign[i]); };
    for (int i = 0; i < 4; ++i) {
        Vec3 corner;
        for (int k = 0; k < 3; ++k) corner[k] = float(sign[i][k]) * e[k];
        out[i].v = Mul(itx, corner);
        out[i].f.key = 0;
        out[i].f.inI = edgeBetween((i + 3) % 4, i);
        out[i].f.outI = edgeBetween(i, (i + 1) % 4);
    }
}

// The reference face in its own frame: u and v along the face, w along the outward normal, with the
// box's half extents along each, and the edges that bound the face on the +u, +v, -u, -v sides.
struct ReferenceFace {
    Vec3 u, v, w;
    float eu, ev, ew;
    uint8_t clipEdges[4];
};

ReferenceFace ComputeReferenceFace(const Transform& rtx, Vec3 eR, Vec3 n, int axis) {
    Vec3 local = MulT(rtx.rotation, n);
    int a = axis % 3;
    int b = (a + 1) % 3;
    int c = (a + 2) % 3;
    int s = local[a] > 0.0f ? 1 : -1;

    ReferenceFace face;
    face.u = rtx.rotation.Column(b);
    face.v = rtx.rotation.Column(c);
    face.w = rtx.rotation.Column(a) * float(s);
    face.eu = eR[b];
    face.ev = eR[c];
    face.ew = eR[a];

    int sign[3];
    sign[a] = s;
    const int sides[4][2] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
    for (int i = 0; i < 4; ++i) {
        sign[b] = sides[i][0];
        sign[c] = sides[i][1];
        face.clipEdges[i] = EdgeId(sides[i][0] != 0 ? c : b, sign);
    }
    return face;
}

constexpr float kOnPlane = 0.005f;

// One pass of polygon clipping against sign·p[axis] <= e (negative distances are inside). A point
// within kOnPlane of the plane is kept as it is; crossing points take the clipping edge as feature.
int ClipPlane(float sign, float e, int axis, uint8_t clipEdge, const ClipVertex* in, int inCount,
              ClipVertex* out) {
    int outCount = 0;
    auto push = [&](const ClipVertex& vertex) {
        if (outCount < Manifold::kMaxContacts) out[outCount++] = vertex;
    };
    ClipVertex a = in[inCount - 1];
    for (int i = 0; i < inCount; ++i) {
        const ClipVertex& b = in[i];
        float da = sign * a.v[axis] - e;
        float db = sign * b.v[axis] - e;
        bool onA = da < kOnPlane && da > -kOnPlane;
        bool onB = db < kOnPlane && db > -kOnPlane;
        if ((da < 0.0f && db < 0.0f) || onA || onB) {
            push(b);
        } else if (da < 0.0f && db >= 0.0f) {
            ClipVertex cv;
            cv.f = b.f;
            cv.v = a.v + (b.v - a.v) * (da / (da - db));
            cv.f.outR = clipEdge;
            cv.f.outI = 0;
            push(cv);
        } else if (da >= 0.0f && db < 0.0f) {
            ClipVertex cv;
            cv.f = a.f;
            cv.v = a.v + (b.v - a.v) * (da / (da - db));
            cv.f.inR = clipEdge;
            cv.f.inI = 0;
            push(cv);
            push(b);
        }
        a = b;
    }
    return outCount;
}

// Clips the incident face to the side planes of the reference face and keeps the points on or below
// it, in world space with their separation from the face.
int ClipIncidentFace(Vec3 rPos, const ReferenceFace& face, const ClipVertex incident[4], ClipVertex* outVerts,
                     float* outDepths) {
    ClipVertex in[Manifold::kMaxContacts];
    ClipVertex out[Manifold::kMaxContacts];
    for (int i = 0; i < 4; ++i) {
        Vec3 d = incident[i].v - rPos;
        in[i].v = Vec3{Dot(face.u, d), Dot(face.v, d), Dot(face.w, d)};
        in[i].f = incident[i].f;
    }
    int count = ClipPlane(1.0f, face.eu, 0, face.clipEdges[0], in, 4, out);
    if (count == 0) return 0;
    count = ClipPlane(1.0f, face.ev, 1, face.clipEdges[1], out, count, in);
    if (count == 0) return 0;
    count = ClipPlane(-1.0f, face.eu, 0, face.clipEdges[2], in, count, out);
    if (count == 0) return 0;
    count = ClipPlane(-1.0f, face.ev, 1, face.clipEdges[3], out, count, in);

    int kept = 0;
    for (int i = 0; i < count; ++i) {
        float separation = in[i].v.z - face.ew;
        if (separation > 0.0f) continue;
        const Vec3 p = in[i].v;
        outVerts[kept].v = face.u * p.x + face.v * p.y + face.w * p.z + rPos;
        outVerts[kept].f = in[i].f;
        outDepths[kept] = separation;
        ++kept;
    }
    return kept;
}

}  // namespace

// ----------------------------------------------------------------------------------------- the test

void BoxToBox(Manifold* m, const Transform& atx, Vec3 eA, const Transform& btx, Vec3 eB) {
    m->contactCount = 0;

    // B's rotation in A's frame: R(i, j) = Ai · Bj.
    const Mat3 R = MulT(atx.rotation, btx.rotation);
    float absR[3][3];
    bool parallel = false;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            absR[i][j] = std::fabs(R.At(i, j));
            if (absR[i][j] + 1.0e-6f >= 1.0f) parallel = true;
        }
    }
    auto r = [&R](int i, int j) { return R.At(i, j); };

    // Centre of B in A's frame.
    const Vec3 t = MulT(atx.rotation, btx.position - atx.position);

    float aMax = -kMaxFloat, bMax = -kMaxFloat, eMax = -kMaxFloat;
    int aAxis = -1, bAxis = -1, eAxis = -1;
    Vec3 nA, nB, nE;

    for (int i = 0; i < 3; ++i) {
        float radiusB = absR[i][0] * eB.x + absR[i][1] * eB.y + absR[i][2] * eB.z;
        float s = std::fabs(t[i]) - (eA[i] + radiusB);
        if (TrackFaceAxis(&aAxis, i, s, &aMax, atx.rotation.Column(i), &nA)) return;
    }
    for (int j = 0; j < 3; ++j) {
        float radiusA = absR[0][j] * eA.x + absR[1][j] * eA.y + absR[2][j] * eA.z;
        float s = std::fabs(Dot(t, R.Column(j))) - (eB[j] + radiusA);
        if (TrackFaceAxis(&bAxis, 3 + j, s, &bMax, btx.rotation.Column(j), &nB)) return;
    }

    if (!parallel) {
        // Ai x Bj in A's frame, with the projected radii of both boxes on it.
        for (int i = 0; i < 3; ++i) {
            int i1 = (i + 1) % 3;
            int i2 = (i + 2) % 3;
            for (int j = 0; j < 3; ++j) {
                int j1 = (j + 1) % 3;
                int j2 = (j + 2) % 3;
                float rA = eA[i1] * absR[i2][j] + eA[i2] * absR[i1][j];
                float rB = eB[j1] * absR[i][j2] + eB[j2] * absR[i][j1];
                float s = std::fabs(t[i2] * r(i1, j) - t[i1] * r(i2, j)) - (rA + rB);
                Vec3 axis;
                axis[i] = 0.0f;
                axis[i1] = -r(i2, j);
                axis[i2] = r(i1, j);
                if (TrackEdgeAxis(&eAxis, 6 + i * 3 + j, s, &eMax, axis, &nE)) return;
            }
        }
    }

    // Prefer faces over edges, and A's face over B's, unless the other is clearly better: the choice
    // then stays put from step to step while the boxes rest.
    const float kRelTol = 0.95f;
    const float kAbsTol = 0.01f;
    int axis;
    float sMax;
    Vec3 n;
    if (kRelTol * eMax > Max(aMax, bMax) + kAbsTol) {
        axis = eAxis;
        sMax = eMax;
        n = Mul(atx.rotation, nE);
    } else if (kRelTol * bMax > aMax + kAbsTol) {
        axis = bAxis;
        sMax = bMax;
        n = nB;
    } else {
        axis = aAxis;
        sMax = aMax;
        n = nA;
    }
    // Boxes with numbers that are not finite compare false on every axis, so none was kept; their
    // contact would index the face tables with -1.
    if (axis < 0) return;
    if (Dot(n, btx.position - atx.position) < 0.0f) n = -n;

    if (axis >= 6) {
        Vec3 pa, qa, pb, qb;
        SupportEdge(atx, eA, n, &pa, &qa);
        SupportEdge(btx, eB, -n, &pb, &qb);
        Vec3 ca, cb;
        EdgesContact(&ca, &cb, pa, qa, pb, qb);
        m->normal = n;
        m->contactCount = 1;
        Contact& c = m->contacts[0];
        c.feature.key = uint32_t(axis);
        c.penetration = sMax;
        c.position = (ca + cb) * 0.5f;
        return;
    }

    // The box that owns the axis holds the reference face; n is turned to point from it to the other.
    const bool flip = axis >= 3;
    const Transform& rtx = flip ? btx : atx;
    const Transform& itx = flip ? atx : btx;
    const Vec3 eR = flip ? eB : eA;
    const Vec3 eI = flip ? eA : eB;
    if (flip) n = -n;

    ClipVertex incident[4];
    ComputeIncidentFace(itx, eI, n, incident);
    const ReferenceFace face = ComputeReferenceFace(rtx, eR, n, axis);
    ClipVertex points[Manifold::kMaxContacts];
    float depths[Manifold::kMaxContacts];
    int count = ClipIncidentFace(rtx.position, face, incident, points, depths);
    if (count == 0) return;

    m->normal = flip ? -n : n;
    m->contactCount = count;
    for (int i = 0; i < count; ++i) {
        Contact& c = m->contacts[i];
        FeaturePair f = points[i].f;
        // Keys always name A's features first, whichever box gave the reference face.
        if (flip) {
            FeaturePair swapped;
            swapped.inR = f.inI;
            swapped.outR = f.outI;
            swapped.inI = f.inR;
            swapped.outI = f.outR;
            f = swapped;
        }
        c.feature = f;
        c.position = points[i].v;
        c.penetration = depths[i];
    }
}

}  // namespace Physics
