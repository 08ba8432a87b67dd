#include "physics/contactSolver.h"

namespace Physics {

namespace {
// n · ((I⁻¹ (r × n)) × r): what one unit of impulse along n at arm r adds to the speed along n.
float AngularTerm(const Mat3& inverseInertia, Vec3 r, Vec3 n) {
    return Dot(n, Cross(Mul(inverseInertia, Cross(r, n)), r));
}

struct Bodies {
    Vec3 vA, wA, vB, wB;

    Vec3 RelativeVelocity(const ContactState& c) const { return vB + Cross(wB, c.rb) - vA - Cross(wA, c.ra); }
    void Apply(const ContactConstraintState& cs, const ContactState& c, Vec3 impulse) {
        vA -= impulse * cs.mA;
        wA -= Mul(cs.iA, Cross(c.ra, impulse));
        vB += impulse * cs.mB;
        wB += Mul(cs.iB, Cross(c.rb, impulse));
    }
};
}  // namespace

void ContactSolver::PreSolve(ContactConstraintState* states, int count, VelocityState* velocities, float dt,
                             bool enableFriction) {
    for (int i = 0; i < count; ++i) {
        ContactConstraintState& cs = states[i];
        Bodies b{velocities[cs.indexA].v, velocities[cs.indexA].w, velocities[cs.indexB].v,
                 velocities[cs.indexB].w};

        for (int j = 0; j < cs.contactCount; ++j) {
            ContactState& c = cs.contacts[j];
            float linear = cs.mA + cs.mB;
            c.normalMass =
                Invert(linear + AngularTerm(cs.iA, c.ra, cs.normal) + AngularTerm(cs.iB, c.rb, cs.normal));
            for (int k = 0; k < 2; ++k) {
                const Vec3 t = cs.tangentVectors[k];
                c.tangentMass[k] = Invert(linear + AngularTerm(cs.iA, c.ra, t) + AngularTerm(cs.iB, c.rb, t));
            }

            c.bias = -(kBaumgarte / dt) * Min(0.0f, c.penetration + kPenetrationSlop);
            float dv = Dot(b.RelativeVelocity(c), cs.normal);
            if (dv < kRestitutionThreshold) c.bias += -cs.restitution * dv;

            Vec3 impulse = cs.normal * c.normalImpulse;
            if (enableFriction) {
                impulse += cs.tangentVectors[0] * c.tangentImpulse[0];
                impulse += cs.tangentVectors[1] * c.tangentImpulse[1];
            }
            b.Apply(cs, c, impulse);
        }

        velocities[cs.indexA] = {b.vA, b.wA};
        velocities[cs.indexB] = {b.vB, b.wB};
    }
}

void ContactSolver::Solve(ContactConstraintState* states, int count, VelocityState* velocities,
                          bool enableFriction) {
    for (int i = 0; i < count; ++i) {
        ContactConstraintState& cs = states[i];
        Bodies b{velocities[cs.indexA].v, velocities[cs.indexA].w, velocities[cs.indexB].v,
                 velocities[cs.indexB].w};

        for (int j = 0; j < cs.contactCount; ++j) {
            ContactState& c = cs.contacts[j];

            if (enableFriction) {
                for (int k = 0; k < 2; ++k) {
                    const Vec3 t = cs.tangentVectors[k];
                    float lambda = -c.tangentMass[k] * Dot(b.RelativeVelocity(c), t);
                    float maxLambda = cs.friction * c.normalImpulse;
                    float old = c.tangentImpulse[k];
                    float clamped = old + lambda;
                    if (clamped < -maxLambda) clamped = -maxLambda;
                    if (clamped > maxLambda) clamped = maxLambda;
                    c.tangentImpulse[k] = clamped;
                    b.Apply(cs, c, t * (clamped - old));
                }
            }

            float vn = Dot(b.RelativeVelocity(c), cs.normal);
            float lambda = -c.normalMass * (vn - c.bias);
            float old = c.normalImpulse;
            c.normalImpulse = Max(0.0f, old + lambda);
            b.Apply(cs, c, cs.normal * (c.normalImpulse - old));
        }

        velocities[cs.indexA] = {b.vA, b.wA};
        velocities[cs.indexB] = {b.vB, b.wB};
    }
}

}  // namespace Physics
