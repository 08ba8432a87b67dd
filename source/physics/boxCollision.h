// The box-against-box test that fills a manifold: separating axes pick the contact normal, then either
// one point between two edges or the incident face clipped against the reference face.
#pragma once

#include "physics/manifold.h"

namespace Physics {

/// Writes the contacts of box A (world placement `a`, half extents `eA`) against box B into `m`: the
/// normal from A to B and up to eight points, or a contact count of 0 when the boxes are apart.
void BoxToBox(Manifold* m, const Transform& a, Vec3 eA, const Transform& b, Vec3 eB);

}  // namespace Physics
