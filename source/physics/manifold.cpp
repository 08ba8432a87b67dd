#include "physics/manifold.h"

namespace Physics {

void ComputeBasis(Vec3 n, Vec3* t1, Vec3* t2) {
    // At least one component of a unit vector reaches 1/sqrt(3); building the first tangent from a
    // large component keeps it away from zero length.
    if (std::fabs(n.x) >= 0.57735026f) {
        *t1 = Vec3{n.y, -n.x, 0.0f};
    } else {
        *t1 = Vec3{0.0f, n.z, -n.y};
    }
    *t1 = Normalize(*t1);
    *t2 = Cross(n, *t1);
}

}  // namespace Physics
