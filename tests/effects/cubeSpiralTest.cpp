// The two effects that build every cube anew each frame from the local time: the spiral and the
// rippling lattice.
#include "effects/cubeSpiral.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "effects/cubeMotionFixture.h"
#include "effects/cubeTest.h"
#include "support/logCapture.h"

namespace {

using Effects::CubeSpiral;
using Effects::CubeTest;
using TestSupport::LogCapture;
using TestSupport::Param;
using TestSupport::Position;

class CubeSpiralTest : public TestSupport::CubeMotionTest {
protected:
    CubeSpiral* LoadSpiral(const std::string& height, double speed1 = 0, double speed2 = 0) {
        return LoadOne<CubeSpiral>("<effect type='CubeSpiral'>" + height + Param("radii", 5, 5, 5) +
                                   Param("speed1", speed1) + Param("speed2", speed2) +
                                   Param("colour1", 1, 0, 0, 1) + Param("colour2", 0, 1, 0, 1) +
                                   Param("colour3", 1, 1, 0, 1) + Param("specular", 1, 1, 1, 20) +
                                   Param("lightDirection", 0, -1, -1) + "</effect>");
    }
};

TEST_F(CubeSpiralTest, HeightOneDrawsNineCubesAndNoHeightNothing) {
    CubeSpiral* spiral = LoadSpiral(Param("height", 1));
    ASSERT_NE(spiral, nullptr);
    EXPECT_GT(Covered(Frame(0.0)), 100u);
    EXPECT_EQ(spiral->GetRenderer()->GetCount(), 9u);
    for (const CubeInstance& cube : spiral->BuildInstances(0.0)) EXPECT_EQ(Position(cube)[1], 0.0f);
    for (double height : {0.0, -4.0, double(NAN)}) {
        ASSERT_NE(LoadSpiral(Param("height", height)), nullptr);
        EXPECT_EQ(Covered(Frame(0.0)), 0u) << height;
    }
}

TEST_F(CubeSpiralTest, StillArmsStand120DegreesApartOnEveryLevel) {
    CubeSpiral* spiral = LoadSpiral(Param("height", 3));
    ASSERT_NE(spiral, nullptr);
    const auto& cubes = spiral->BuildInstances(7.5);
    ASSERT_EQ(cubes.size(), 9u * 5u);
    const float sin120 = 0.8660254f, cos120 = -0.5f;
    const float centres[3][2] = {
        {0.0f, 5.0f}, {sin120 * 5.0f, cos120 * 5.0f}, {-sin120 * 5.0f, cos120 * 5.0f}};
    const float scales[3][2] = {{4, 1}, {1, 4}, {3, 3}};
    for (int arm = 0; arm < 3; ++arm) {
        for (int level = -2; level <= 2; ++level) {
            for (int shape = 0; shape < 3; ++shape) {
                const CubeInstance& cube = cubes[size_t((arm * 5 + level + 2) * 3 + shape)];
                const auto p = Position(cube);
                EXPECT_NEAR(p[0], centres[arm][0], 1e-5f) << arm << " " << level;
                EXPECT_EQ(p[1], float(level));
                EXPECT_NEAR(p[2], centres[arm][1], 1e-5f);
                EXPECT_EQ(cube.world.m[0][0], scales[shape][0]);
                EXPECT_EQ(cube.world.m[2][2], scales[shape][1]);
                EXPECT_NEAR(cube.colourUnlit.x, cube.colourLit.x * 0.2f, 1e-7f);
            }
        }
    }
}

TEST_F(CubeSpiralTest, ArmsTurnWithTimeAndTwistWithHeight) {
    CubeSpiral* spiral = LoadSpiral(Param("height", 2), 0.5, 0.25);
    ASSERT_NE(spiral, nullptr);
    const auto& cubes = spiral->BuildInstances(2.0);
    // Arm 1, level 1: angle 1 x 0.25 + 2 x 0.5.
    const auto p = Position(cubes[6]);
    EXPECT_NEAR(p[0], std::sin(1.25f) * 5.0f, 1e-5f);
    EXPECT_NEAR(p[2], std::cos(1.25f) * 5.0f, 1e-5f);
}

TEST_F(CubeSpiralTest, HeightBeyondTheCapacityIsDrawnAtTheHighestThatFitsAndLoggedOnce) {
    CubeSpiral* spiral = LoadSpiral(
        "<param key='height' type='double'><key time='0' value='500'/><key time='10' value='1e12'/></param>");
    ASSERT_NE(spiral, nullptr);
    LogCapture log;
    for (double t : {0.0, 1.0, 5.0, 20.0}) Frame(t);
    EXPECT_EQ(spiral->GetRenderer()->GetCount(), 9u * 221u);
    EXPECT_LE(spiral->GetRenderer()->GetCount(), CubeSpiral::kCapacity);
    EXPECT_EQ(log.Lines().size(), 1u);
}

TEST_F(CubeSpiralTest, LatticeRipplesFromTwoThirdsAtItsCentreAndAlwaysHoldsAllItsCubes) {
    CubeTest* lattice = LoadOne<CubeTest>("<effect type='CubeTest'/>");
    ASSERT_NE(lattice, nullptr);
    const Vec3 light = lattice->GetRenderer()->lightDirection;
    EXPECT_NEAR(light.x, 0.894427f, 1e-5f);
    EXPECT_NEAR(light.y, 0.447214f, 1e-5f);
    const auto& cubes = lattice->BuildInstances(0.0);
    ASSERT_EQ(cubes.size(), 1331u);
    const CubeInstance& centre = cubes[(5 * 11 + 5) * 11 + 5];
    EXPECT_EQ(Position(centre), (std::array<float, 3>{0, 0, 0}));
    EXPECT_NEAR(centre.world.m[0][0], 0.6667f, 1e-4f);
    EXPECT_EQ(Position(cubes[0]), (std::array<float, 3>{-10, -10, -10}));
    EXPECT_EQ(Position(cubes[1]), (std::array<float, 3>{-10, -10, -8}));
    for (double t : {0.0, 3.3, 100.0}) {
        EXPECT_GT(Covered(Frame(t)), 1000u);
        EXPECT_EQ(lattice->GetRenderer()->GetCount(), 1331u);
        for (const CubeInstance& cube : lattice->BuildInstances(t)) {
            ASSERT_GE(cube.world.m[0][0], 0.0f);
            ASSERT_LE(cube.world.m[0][0], 1.0f);
        }
    }
}

}  // namespace
