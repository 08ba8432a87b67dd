#include "physics/contactSolver.h"

namespace Physics {

namespace {
// The two bodies' velocities while one constraint's points are solved.
struct Bodies {
    Float4 vA, wA, vB, wB;

    /// Relative speed at the point along its direction `k` (0 normal, 1 and 2 tangents):
    /// (vB + wB × rB − vA − wA × rA) · d, with (w × r) · d written as w · (r × d).
    float Speed(const ContactConstraintState& cs, const ContactState& c, int k) const {
        return Dot(vB - vA, cs.directions[k]) + Dot(wB, c.rbCross[k]) - Dot(wA, c.raCross[k]);
    }
    /// Applies `lambda` along direction `k`: vA −= mA·P, ωA −= IA⁻¹(rA × P), vB += mB·P, ωB += IB⁻¹(rB × P)
    /// with P = d·lambda. A body that cannot move would only subtract zeros, which leaves its bits.
    void Apply(const ContactConstraintState& cs, const ContactState& c, int k, float lambda) {
        if (cs.movesA) {
            vA -= cs.linearA[k] * lambda;
            wA -= c.angularA[k] * lambda;
        }
        if (cs.movesB) {
            vB += cs.linearB[k] * lambda;
            wB += c.angularB[k] * lambda;
        }
    }
};
}  // namespace

void ContactSolver::PreSolve(ContactConstraintState* states, int count, ContactState* contacts,
                             VelocityState* velocities, float dt, bool enableFriction) {
    for (int i = 0; i < count; ++i) {
        ContactConstraintState& cs = states[i];
        Bodies b{velocities[cs.indexA].v, velocities[cs.indexA].w, velocities[cs.indexB].v,
                 velocities[cs.indexB].w};
        const Vec3 directions[3] = {cs.normal, cs.tangentVectors[0], cs.tangentVectors[1]};
        for (int k = 0; k < 3; ++k) {
            cs.directions[k] = ToFloat4(directions[k]);
            cs.linearA[k] = ToFloat4(directions[k] * cs.mA);
            cs.linearB[k] = ToFloat4(directions[k] * cs.mB);
        }

        ContactState* points = contacts + cs.firstContact;
        for (int j = 0; j < cs.contactCount; ++j) {
            ContactState& c = points[j];
            // Effective mass along each direction: 1 / (mA + mB + (rA × d)·IA⁻¹(rA × d) + (rB × d)·IB⁻¹(rB ×
            // d)).
            float mass[3];
            for (int k = 0; k < 3; ++k) {
                const Vec3 raCross = Cross(c.ra, directions[k]);
                const Vec3 rbCross = Cross(c.rb, directions[k]);
                const Vec3 angularA = Mul(cs.iA, raCross);
                const Vec3 angularB = Mul(cs.iB, rbCross);
                c.raCross[k] = ToFloat4(raCross);
                c.rbCross[k] = ToFloat4(rbCross);
                c.angularA[k] = ToFloat4(angularA);
                c.angularB[k] = ToFloat4(angularB);
                mass[k] = Invert(cs.mA + cs.mB + Dot(raCross, angularA) + Dot(rbCross, angularB));
            }
            c.normalMass = mass[0];
            c.tangentMass[0] = mass[1];
            c.tangentMass[1] = mass[2];

            c.bias = -(kBaumgarte / dt) * Min(0.0f, c.penetration + kPenetrationSlop);
            float dv = b.Speed(cs, c, 0);
            if (dv < kRestitutionThreshold) c.bias += -cs.restitution * dv;

            b.Apply(cs, c, 0, c.normalImpulse);
            if (enableFriction) {
                b.Apply(cs, c, 1, c.tangentImpulse[0]);
                b.Apply(cs, c, 2, c.tangentImpulse[1]);
            }
        }

        velocities[cs.indexA] = {b.vA, b.wA};
        velocities[cs.indexB] = {b.vB, b.wB};
    }
}

void ContactSolver::Order(const ContactConstraintState* states, int count, int bodyCount, int* bodyWaves,
                          int* waves, int* starts, int* order) {
    // bodyWaves[b]: the wave after the last constraint so far that moves body b. A body no impulse can
    // move is only read, and its velocities stay as they are whatever the order.
    for (int b = 0; b < bodyCount; ++b) bodyWaves[b] = 0;
    int waveCount = 0;
    for (int i = 0; i < count; ++i) {
        const ContactConstraintState& cs = states[i];
        int wave = 0;
        if (cs.movesA) wave = bodyWaves[cs.indexA];
        if (cs.movesB && bodyWaves[cs.indexB] > wave) wave = bodyWaves[cs.indexB];
        waves[i] = wave;
        if (cs.movesA) bodyWaves[cs.indexA] = wave + 1;
        if (cs.movesB) bodyWaves[cs.indexB] = wave + 1;
        if (wave >= waveCount) waveCount = wave + 1;
    }
    // Counting sort by wave (each wave one past an earlier one, so there are at most `count`), keeping
    // the first order within a wave.
    for (int w = 0; w <= waveCount; ++w) starts[w] = 0;
    for (int i = 0; i < count; ++i) ++starts[waves[i] + 1];
    for (int w = 0; w < waveCount; ++w) starts[w + 1] += starts[w];
    for (int i = 0; i < count; ++i) order[starts[waves[i]]++] = i;
}

namespace {
// One pass over one contact point: the two friction directions, then the normal.
// Inlined, so that the velocities stay in registers across the points.
[[gnu::always_inline]] inline void SolvePoint(Bodies& b, const ContactConstraintState& cs, ContactState& c,
                                              bool enableFriction) {
    if (enableFriction) {
        for (int k = 0; k < 2; ++k) {
            float lambda = -c.tangentMass[k] * b.Speed(cs, c, k + 1);
            float maxLambda = cs.friction * c.normalImpulse;
            float old = c.tangentImpulse[k];
            float clamped = old + lambda;
            if (clamped < -maxLambda) clamped = -maxLambda;
            if (clamped > maxLambda) clamped = maxLambda;
            c.tangentImpulse[k] = clamped;
            b.Apply(cs, c, k + 1, clamped - old);
        }
    }

    float vn = b.Speed(cs, c, 0);
    float lambda = -c.normalMass * (vn - c.bias);
    float old = c.normalImpulse;
    c.normalImpulse = Max(0.0f, old + lambda);
    b.Apply(cs, c, 0, c.normalImpulse - old);
}

Bodies Load(const ContactConstraintState& cs, const VelocityState* velocities) {
    return {velocities[cs.indexA].v, velocities[cs.indexA].w, velocities[cs.indexB].v,
            velocities[cs.indexB].w};
}

void Store(const ContactConstraintState& cs, const Bodies& b, VelocityState* velocities) {
    velocities[cs.indexA] = {b.vA, b.wA};
    velocities[cs.indexB] = {b.vB, b.wB};
}
}  // namespace

void ContactSolver::Solve(ContactConstraintState* states, const int* order, const int* waves, int count,
                          ContactState* contacts, VelocityState* velocities, bool enableFriction) {
    int n = 0;
    while (n < count) {
        const ContactConstraintState& cs = states[order[n]];
        ContactState* points = contacts + cs.firstContact;
        if (n + 1 < count && waves[order[n + 1]] == waves[order[n]]) {
            // Two constraints of one wave move different bodies: their points go side by side, so that
            // the processor works on both chains of dependent operations at once. Bodies they share
            // are ones neither moves, read by both and written back unchanged.
            const ContactConstraintState& cs2 = states[order[n + 1]];
            ContactState* points2 = contacts + cs2.firstContact;
            Bodies b = Load(cs, velocities);
            Bodies b2 = Load(cs2, velocities);
            const int both = cs.contactCount < cs2.contactCount ? cs.contactCount : cs2.contactCount;
            for (int j = 0; j < both; ++j) {
                SolvePoint(b, cs, points[j], enableFriction);
                SolvePoint(b2, cs2, points2[j], enableFriction);
            }
            for (int j = both; j < cs.contactCount; ++j) SolvePoint(b, cs, points[j], enableFriction);
            for (int j = both; j < cs2.contactCount; ++j) SolvePoint(b2, cs2, points2[j], enableFriction);
            Store(cs, b, velocities);
            Store(cs2, b2, velocities);
            n += 2;
            continue;
        }
        Bodies b = Load(cs, velocities);
        for (int j = 0; j < cs.contactCount; ++j) SolvePoint(b, cs, points[j], enableFriction);
        Store(cs, b, velocities);
        ++n;
    }
}

}  // namespace Physics
