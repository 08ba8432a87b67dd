// Three blobs that drift, touch and merge inside a cage, built of unit cubes on a fixed grid: every
// frame the field of three moving centres is sampled on a 21 by 21 by 21 grid, each point where it
// exceeds a threshold gets a cube coloured by each centre's share of the field, and the twelve edges
// of a cage around the grid are added as stretched cubes.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "effects/effect.h"
#include "graphics/cubeRenderer.h"

namespace Effects {

class CubeCluster : public Effect {
public:
    /// Room for every grid point and the twelve cage bars.
    static constexpr uint32_t kCapacity = 10000;
    /// The grid runs from -kGridReach to kGridReach on each axis.
    static constexpr int kGridReach = 10;
    static constexpr int kGridPoints = (2 * kGridReach + 1) * (2 * kGridReach + 1) * (2 * kGridReach + 1);

    CubeCluster();
    ~CubeCluster() override;

    /// Creates the renderer; reads no parameter.
    bool Load(const pugi::xml_node& node) override;
    /// Builds the cluster at the local time and draws it turned by "rotation"; nothing when no grid
    /// point is above the threshold and there is no cage.
    void Render(double localTime, RenderTexturePair* target) override;

    /// The three centres at `localTime` for an "orbitSize" of `orbitSize`.
    static std::array<Vec3, 3> Centres(double localTime, double orbitSize);
    /// The field of the three centres at a point: the sum of their inverse squared distances.
    static float Field(const std::array<Vec3, 3>& centres, Vec3 point);
    /// The frame's cubes, grid points (x outermost, z innermost) then cage bars, from the parameters
    /// at `localTime`: what Render hands to the renderer.
    const std::vector<CubeInstance>& BuildInstances(double localTime);

    const CubeRenderer* GetRenderer() const { return m_renderer.get(); }

private:
    std::unique_ptr<CubeRenderer> m_renderer;
    std::vector<CubeInstance> m_instances;
};

}  // namespace Effects
