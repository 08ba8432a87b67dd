#include "effects/shapeSphere.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "effects/shapesFixture.h"

namespace {

using Effects::ShapeSphere;
using TestSupport::LogCapture;
using TestSupport::Number;

class ShapeSphereTest : public TestSupport::ShapesTest {
protected:
    std::vector<ShapeInstance> Shapes(const std::string& params, bool* complete = nullptr) {
        std::vector<ShapeInstance> shapes;
        const bool all = LoadEffect<ShapeSphere>("ShapeSphere", params).BuildShapes(0.0, shapes);
        if (complete) *complete = all;
        return shapes;
    }
    int LitPixels() {
        const TestSupport::Image image = Current();
        int count = 0;
        for (uint32_t i = 0; i < image.width * image.height; ++i) count += image.rgba[i * 4] > 64;
        return count;
    }
};

TEST_F(ShapeSphereTest, RingsAndShapeCountsFollowTheParameters) {
    const struct {
        const char* what;
        std::string params;
        size_t shapes;
    } cases[] = {
        {"defaults: 10, then 8, 8, 8, 6, 6 on each side", "", 82},
        {"one ring of maxShapes rounded down to even", Number("rings", "1") + Number("maxShapes", "11"), 10},
        {"255 shapes become 254", Number("rings", "1") + Number("maxShapes", "255"), 254},
        {"256 shapes become none", Number("rings", "1") + Number("maxShapes", "256"), 0},
        {"300 keeps bits 1 to 7", Number("rings", "1") + Number("maxShapes", "300"), 44},
        {"rings truncated to an int", Number("rings", "1.9") + Number("maxShapes", "4"), 4},
        {"no rings", Number("rings", "0"), 0},
        {"a negative ring count", Number("rings", "-4"), 0},
        {"a ring count that is no number", Number("rings", "nan"), 0},
    };
    for (const auto& c : cases) EXPECT_EQ(Shapes(c.params).size(), c.shapes) << c.what;
}

TEST_F(ShapeSphereTest, ShapesSitOnTheSphereRingByRingWithEveryOtherTurned) {
    const std::vector<ShapeInstance> shapes =
        Shapes(Number("radius", "100") + Number("scale", "2") + Number("type", "3") + Number("inner", "0.4"));
    ASSERT_EQ(shapes.size(), 82u);
    const int ringSizes[] = {6, 6, 8, 8, 8, 10, 8, 8, 8, 6, 6};
    size_t index = 0;
    for (int ring = 0; ring < 11; ++ring) {
        const float latitude = float(ring - 5) / 6.0f * 1.5707964f;  // from the lowest ring up
        for (int j = 0; j < ringSizes[ring]; ++j, ++index) {
            SCOPED_TRACE(testing::Message() << "ring " << ring << ", shape " << j);
            const Matrix world = shapes[index].world.Transposed();
            // Around the ring from behind the origin (-z), turning by 2 pi j / n about y.
            const float longitude = 2.0f * 3.14159265f * float(j) / float(ringSizes[ring]);
            const Vec3 centre = world.TransformPoint({0, 0, 0});
            EXPECT_NEAR(centre.x, -100.0f * std::cos(latitude) * std::sin(longitude), 1e-2f);
            EXPECT_NEAR(centre.y, 100.0f * std::sin(latitude), 1e-2f);
            EXPECT_NEAR(centre.z, -100.0f * std::cos(latitude) * std::cos(longitude), 1e-2f);
            // The quad's up points up the sphere, or down it for odd shapes, at the scale's length.
            EXPECT_NEAR(std::hypot(world.m[1][0], world.m[1][1], world.m[1][2]), 2.0f, 1e-4f);
            EXPECT_EQ(world.m[1][1] > 0.0f, j % 2 == 0);
            EXPECT_EQ(shapes[index].type, 3);
            EXPECT_EQ(shapes[index].inner, 0.4f);
            EXPECT_EQ(shapes[index].outer, 1.0f);
        }
    }
}

TEST_F(ShapeSphereTest, MoreThanTheRendererHoldsIsCutWithOneMessagePerLoad) {
    const std::string params =
        Number("rings", "40") + Number("minShapes", "254") + Number("maxShapes", "254");
    bool complete = true;
    EXPECT_EQ(Shapes(params, &complete).size(), ShapeRenderer::kCapacity);
    EXPECT_FALSE(complete);
    LogCapture log;
    const ShapeSphere& sphere = LoadEffect<ShapeSphere>("ShapeSphere", params);
    for (int frame = 0; frame < 3; ++frame) Run(0.0);
    EXPECT_EQ(sphere.GetRenderer()->GetInstances().GetCount(), ShapeRenderer::kCapacity);
    LoadEffect<ShapeSphere>("ShapeSphere", params);
    Run(0.0);
    EXPECT_EQ(CountLines(log, "more than 1024 shapes"), 2);
}

TEST_F(ShapeSphereTest, AbsurdNumbersGiveADefinedPictureOrNothing) {
    const struct {
        const char* what;
        std::string params;
        bool drawn;
    } cases[] = {
        {"a billion rings", Number("rings", "1e9"), true},
        {"a billion shapes a ring", Number("maxShapes", "1e9") + Number("minShapes", "-1e12"), true},
        {"a negative scale", Number("scale", "-5"), true},
        {"radii that are no numbers", Number("inner", "nan") + Number("outer", "nan"), false},
        {"an infinite radius", Number("radius", "inf"), false},
        {"a scale beyond a float", Number("scale", "1e300"), false},
        {"a colour that is no number", "<param key='colour' type='vec4' x='nan' y='0' z='0' w='1'/>", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LogCapture log;
        LoadEffect<ShapeSphere>("ShapeSphere", c.params);
        Counters().Reset();
        Run(0.0);
        Run(0.0);
        EXPECT_EQ(Counters().draws, c.drawn ? 2u : 0u);
        if (!c.drawn) {
            EXPECT_EQ(CountLines(log, "not"), 1) << "one message for two frames";
        }
    }
    LoadEffect<ShapeSphere>("ShapeSphere", Number("rings", "0"));
    Counters().Reset();
    Run(0.0);
    EXPECT_EQ(Counters().draws + Counters().maps, 0u) << "no shapes, no draw";
}

TEST_F(ShapeSphereTest, DrawsTheHalfOfTheSphereThatFacesTheEye) {
    LoadEffect<ShapeSphere>("ShapeSphere", Number("scale", "40") + Number("type", "4") +
                                               "<param key='colour' type='vec4' x='1' y='1' z='0' w='1'/>");
    // Shapes face the centre, so from outside the far half faces the camera: the middle ring's disc
    // straight ahead of the eye, behind the origin, is drawn.
    Camera_SetDistance(400.0f);
    Run(0.0);
    EXPECT_TRUE(TestSupport::RgbNear(Current(), 400, 300, {255, 255, 0}));
    EXPECT_GT(LitPixels(), 5000);
    // Seen from inside, the shapes in front of the eye face it too.
    Camera_SetDistance(0.0f);
    Fill({0.0f, 0.0f, 0.0f, 1.0f});
    Run(0.0);
    EXPECT_GT(LitPixels(), 5000);
}

}  // namespace
