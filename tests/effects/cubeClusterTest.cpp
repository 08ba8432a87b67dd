#include "effects/cubeCluster.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "effects/cubeMotionFixture.h"

namespace {

using Effects::CubeCluster;
using TestSupport::Param;
using TestSupport::Position;

// Three colour sets that average to (0.5, 0.5, 0.5, 1), (0.2, 0.2, 0.2, 1) and (0.4, 0.4, 0.4, 30).
const std::string kColours = Param("colourLit1", 1.5, 0, 0, 1) + Param("colourLit2", 0, 1.5, 0, 1) +
                             Param("colourLit3", 0, 0, 1.5, 1) + Param("colourUnlit1", 0.6, 0, 0, 1) +
                             Param("colourUnlit2", 0, 0.6, 0, 1) + Param("colourUnlit3", 0, 0, 0.6, 1) +
                             Param("colourSpecular1", 1.2, 0, 0, 10) +
                             Param("colourSpecular2", 0, 1.2, 0, 30) +
                             Param("colourSpecular3", 0, 0, 1.2, 50) + Param("cageColourLit", 1, 1, 1, 1) +
                             Param("cageColourUnlit", 0.1, 0.1, 0.1, 1) +
                             Param("cageColourSpecular", 1, 1, 1, 8) + Param("lightDirection", 0, -1, -1);

class CubeClusterTest : public TestSupport::CubeMotionTest {
protected:
    CubeCluster* LoadCluster(double orbitSize, double borderSize, const std::string& params = "") {
        return LoadOne<CubeCluster>("<effect type='CubeCluster'>" + kColours + Param("orbitSize", orbitSize) +
                                    Param("borderSize", borderSize) + params + "</effect>");
    }
};

// The field worked out here on its own, from the centres' waves.
size_t PointsAboveThreshold(double t, double orbitSize, double threshold) {
    const double waves[3][3][2] = {{{0.75, 3.0}, {0.25, 1.6}, {0.71, 1.3}},
                                   {{0.47, 2.2}, {0.33, 2.3}, {0.99, 1.6}},
                                   {{0.93, 1.7}, {0.89, 2.1}, {0.37, 2.7}}};
    float centres[3][3];
    for (int k = 0; k < 3; ++k) {
        for (int a = 0; a < 3; ++a) {
            const double angle = t * double(float(waves[k][a][0])) + double(float(waves[k][a][1]));
            centres[k][a] = float(std::sin(angle)) * float(orbitSize * 7.0);
        }
    }
    size_t count = 0;
    for (int x = -10; x <= 10; ++x) {
        for (int y = -10; y <= 10; ++y) {
            for (int z = -10; z <= 10; ++z) {
                float field = 0.0f;
                for (const auto& c : centres) {
                    const float dx = float(x) - c[0], dy = float(y) - c[1], dz = float(z) - c[2];
                    field += 1.0f / (dx * dx + dy * dy + dz * dz);
                }
                count += field > threshold ? 1 : 0;
            }
        }
    }
    return count;
}

TEST_F(CubeClusterTest, CubesStandWhereADirectEvaluationOfTheFieldExceedsTheThreshold) {
    const struct {
        double time, orbitSize, threshold;
    } cases[] = {{0.0, 1.0, 0.1}, {3.7, 0.8, 0.05}, {12.25, 1.2, 0.2}, {40.0, 0.5, 0.02}};
    for (const auto& c : cases) {
        CubeCluster* cluster = LoadCluster(c.orbitSize, 0, Param("threshold", c.threshold));
        ASSERT_NE(cluster, nullptr);
        const size_t expected = PointsAboveThreshold(c.time, c.orbitSize, c.threshold);
        EXPECT_GT(expected, 0u);
        EXPECT_EQ(cluster->BuildInstances(c.time).size(), expected) << "t " << c.time;
    }
    // The default threshold is 0.1.
    CubeCluster* cluster = LoadCluster(1.0, 0);
    ASSERT_NE(cluster, nullptr);
    EXPECT_EQ(cluster->BuildInstances(5.0).size(), PointsAboveThreshold(5.0, 1.0, 0.1));
}

TEST_F(CubeClusterTest, ThresholdZeroFillsEveryGridPointInOrder) {
    CubeCluster* cluster = LoadCluster(0.9, 0, Param("threshold", 0));
    ASSERT_NE(cluster, nullptr);
    const auto& cubes = cluster->BuildInstances(2.0);
    ASSERT_EQ(cubes.size(), 9261u);
    // x outermost, z innermost, each from -10 to 10; unit cubes.
    EXPECT_EQ(Position(cubes[0]), (std::array<float, 3>{-10, -10, -10}));
    EXPECT_EQ(Position(cubes[1]), (std::array<float, 3>{-10, -10, -9}));
    EXPECT_EQ(Position(cubes[21]), (std::array<float, 3>{-10, -9, -10}));
    EXPECT_EQ(Position(cubes[9260]), (std::array<float, 3>{10, 10, 10}));
    EXPECT_EQ(cubes[500].world.m[0][0], 1.0f);
}

TEST_F(CubeClusterTest, CentresAtTheOriginGiveThePlainAverageEvenOnTheCentresThemselves) {
    CubeCluster* cluster = LoadCluster(0, 0);
    ASSERT_NE(cluster, nullptr);
    const auto& cubes = cluster->BuildInstances(1.0);
    ASSERT_FALSE(cubes.empty());
    bool sawOrigin = false;
    for (const CubeInstance& cube : cubes) {
        sawOrigin |= Position(cube) == std::array<float, 3>{0, 0, 0};
        EXPECT_NEAR(cube.colourLit.x, 0.5f, 1e-6f);
        EXPECT_NEAR(cube.colourLit.z, 0.5f, 1e-6f);
        EXPECT_NEAR(cube.colourLit.w, 1.0f, 1e-6f);
        EXPECT_NEAR(cube.colourUnlit.y, 0.2f, 1e-6f);
        EXPECT_NEAR(cube.colourSpecular.x, 0.4f, 1e-6f);
        EXPECT_NEAR(cube.colourSpecular.w, 30.0f, 1e-5f);
    }
    EXPECT_TRUE(sawOrigin) << "the point on the centres has a cube, with finite colours";
}

TEST_F(CubeClusterTest, CageHasTwelveBarsAlongTheEdgesOnlyForAPositiveBorder) {
    // A threshold no point reaches leaves the cage alone.
    const std::string none = Param("threshold", 1e30);
    for (double border : {0.0, -1.0}) {
        CubeCluster* cluster = LoadCluster(1, border, none);
        ASSERT_NE(cluster, nullptr);
        EXPECT_TRUE(cluster->BuildInstances(0.0).empty()) << border;
        EXPECT_EQ(Covered(Frame(0.0)), 0u) << "nothing at all is drawn";
    }
    CubeCluster* cluster = LoadCluster(1, 0.5, none);
    ASSERT_NE(cluster, nullptr);
    const auto& bars = cluster->BuildInstances(0.0);
    ASSERT_EQ(bars.size(), 12u);
    for (size_t i = 0; i < bars.size(); ++i) {
        const int axis = int(i / 4);
        const auto p = Position(bars[i]);
        EXPECT_EQ(p[axis], 0.0f) << "bar " << i << " is centred on its edge's midpoint";
        EXPECT_EQ(std::fabs(p[(axis + 1) % 3]), 11.0f);
        EXPECT_EQ(std::fabs(p[(axis + 2) % 3]), 11.0f);
        EXPECT_FLOAT_EQ(bars[i].world.m[axis][axis], 11.5f) << "bar " << i;
        EXPECT_EQ(bars[i].world.m[(axis + 1) % 3][(axis + 1) % 3], 1.0f);
        EXPECT_EQ(bars[i].colourLit.x, 1.0f);
    }
    EXPECT_EQ(Position(bars[1]), (std::array<float, 3>{0, 11, -11}));
    EXPECT_GT(Covered(Frame(0.0)), 1000u);
}

TEST_F(CubeClusterTest, DrawsTheBlobsInTheirColours) {
    CubeCluster* cluster = LoadCluster(0, 0, Param("threshold", 0.02));
    ASSERT_NE(cluster, nullptr);
    const auto picture = Frame(0.0);
    EXPECT_GT(Covered(picture), 10000u);
    // The ball at the origin, lit from above and in front, in the average of the three sets.
    const auto centre = picture.At(400, 300);
    EXPECT_NEAR(centre[0], centre[1], 12);
    EXPECT_GT(centre[0], 40);
    EXPECT_EQ(cluster->GetRenderer()->GetCount(), cluster->BuildInstances(0.0).size());
}

}  // namespace
