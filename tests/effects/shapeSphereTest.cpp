#include "effects/shapeSphere.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "effects/screenEffectFixture.h"
#include "graphics/camera.h"
#include "support/logCapture.h"

namespace {

using Effects::ShapeSphere;
using TestSupport::LogCapture;

std::string Number(const std::string& key, const std::string& value) {
    return "<param key='" + key + "' type='double' value='" + value + "'/>";
}

// The shape's world matrix as the show multiplies it (the record stores its transpose).
Matrix World(const ShapeInstance& shape) {
    return shape.world.Transposed();
}

class ShapeSphereTest : public TestSupport::ScreenEffectTest {
protected:
    void SetUp() override {
        ScreenEffectTest::SetUp();
        if (IsSkipped()) return;
        CopyDemoFile("shapes.fx");
        Camera_Reset();
        Camera_SetDistance(400.0f);
    }
    void TearDown() override {
        Camera_Reset();
        ScreenEffectTest::TearDown();
    }

    ShapeSphere& LoadSphere(const std::string& params) {
        EXPECT_TRUE(Load("<effect type='ShapeSphere'>" + params + "</effect>"));
        return static_cast<ShapeSphere&>(*effects.at(0));
    }
    std::vector<ShapeInstance> Shapes(const std::string& params, bool* complete = nullptr) {
        std::vector<ShapeInstance> shapes;
        const bool all = LoadSphere(params).BuildShapes(0.0, shapes);
        if (complete) *complete = all;
        return shapes;
    }
    // Number of pixels of the current picture with some red in them.
    int RedPixels() {
        const TestSupport::Image image = Current();
        int count = 0;
        for (uint32_t y = 0; y < image.height; ++y) {
            for (uint32_t x = 0; x < image.width; ++x) count += image.At(x, y)[0] > 64;
        }
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
        {"counts keep only bits 1 to 7", Number("rings", "1") + Number("maxShapes", "300"), 44},
        {"no rings", Number("rings", "0"), 0},
        {"a negative ring count", Number("rings", "-4"), 0},
        {"rings read as a truncated int", Number("rings", "1.9") + Number("maxShapes", "4"), 4},
        {"a ring count that is no number", Number("rings", "nan"), 0},
        {"no shapes on any ring", Number("minShapes", "0") + Number("maxShapes", "1"), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Shapes(c.params).size(), c.shapes);
    }
}

TEST_F(ShapeSphereTest, ShapesSitOnTheSphereRingByRingWithEveryOtherTurned) {
    const std::vector<ShapeInstance> shapes =
        Shapes(Number("radius", "100") + Number("scale", "2") + Number("type", "3") + Number("inner", "0.4"));
    ASSERT_EQ(shapes.size(), 82u);
    const int ringSizes[] = {6, 6, 8, 8, 8, 10, 8, 8, 8, 6, 6};
    size_t index = 0;
    for (int ring = 0; ring < 11; ++ring) {
        const int i = ring - 5;  // from the lowest ring up
        const float height = 100.0f * std::sin(float(i) / 6.0f * 1.5707964f);
        for (int j = 0; j < ringSizes[ring]; ++j, ++index) {
            SCOPED_TRACE(testing::Message() << "ring " << i << ", shape " << j);
            const ShapeInstance& shape = shapes[index];
            const Matrix world = World(shape);
            const Vec3 centre = world.TransformPoint({0, 0, 0});
            EXPECT_NEAR(std::sqrt(centre.x * centre.x + centre.y * centre.y + centre.z * centre.z), 100.0f,
                        1e-3f);
            EXPECT_NEAR(centre.y, height, 1e-3f);
            // Around the ring in order, starting behind the origin (-z) and turning by 2 pi j / n.
            const float longitude = 2.0f * 3.14159265f * float(j) / float(ringSizes[ring]);
            const float across = std::cos(float(i) / 6.0f * 1.5707964f) * 100.0f;
            EXPECT_NEAR(centre.x, -across * std::sin(longitude), 1e-2f);
            EXPECT_NEAR(centre.z, -across * std::cos(longitude), 1e-2f);
            // The quad's own up points up the sphere, or down it for odd shapes; its size is the scale.
            const Vec3 up = {world.m[1][0], world.m[1][1], world.m[1][2]};
            EXPECT_NEAR(std::sqrt(up.x * up.x + up.y * up.y + up.z * up.z), 2.0f, 1e-4f);
            if (j % 2 == 0)
                EXPECT_GT(up.y, 0.0f);
            else
                EXPECT_LT(up.y, 0.0f);
            EXPECT_EQ(shape.type, 3);
            EXPECT_EQ(shape.inner, 0.4f);
            EXPECT_EQ(shape.outer, 1.0f);
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
    ShapeSphere& sphere = LoadSphere(params);
    for (int frame = 0; frame < 3; ++frame) Run(0.0);
    EXPECT_EQ(sphere.GetRenderer()->GetInstances().GetCount(), ShapeRenderer::kCapacity);
    LoadSphere(params);  // loaded again, it reports again
    Run(0.0);
    int messages = 0;
    for (const std::string& text : log.Texts())
        messages += text.find("more than 1024 shapes") != std::string::npos;
    EXPECT_EQ(messages, 2);
}

TEST_F(ShapeSphereTest, AbsurdNumbersGiveADefinedPictureOrNothing) {
    const struct {
        const char* what;
        std::string params;
        bool drawn;
    } cases[] = {
        {"a billion rings", Number("rings", "1e9"), true},
        {"a billion shapes a ring", Number("maxShapes", "1e9") + Number("minShapes", "-1e12"), true},
        {"radii that are no numbers", Number("inner", "nan") + Number("outer", "nan"), false},
        {"an infinite radius", Number("radius", "inf"), false},
        {"a scale beyond a float", Number("scale", "1e300"), false},
        {"a negative scale", Number("scale", "-5"), true},
        {"a colour that is no number", "<param key='colour' type='vec4' x='nan' y='0' z='0' w='1'/>", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LogCapture log;
        LoadSphere(c.params);
        Counters().Reset();
        Run(0.0);
        Run(0.0);
        EXPECT_EQ(Counters().draws, c.drawn ? 2u : 0u);
        if (c.drawn) continue;
        int messages = 0;
        for (const std::string& text : log.Texts()) messages += text.find("not") != std::string::npos;
        EXPECT_EQ(messages, 1) << "one message for two frames";
    }
}

TEST_F(ShapeSphereTest, DrawsTheFarSideOfTheSphereInItsColour) {
    LoadSphere(Number("scale", "40") + Number("type", "4") +
               "<param key='colour' type='vec4' x='1' y='1' z='0' w='1'/>");
    Fill({0.0f, 0.0f, 0.0f, 1.0f});
    Counters().Reset();
    Run(0.0);
    EXPECT_EQ(Counters().draws, 1u);
    const int lit = RedPixels();
    EXPECT_GT(lit, 500);
    // Shapes face the centre, so from outside only the far half of the sphere faces the camera: the
    // middle ring's disc straight ahead of the eye, behind the origin, is drawn in yellow.
    EXPECT_TRUE(TestSupport::RgbNear(Current(), 400, 300, {255, 255, 0}));
    // Seen from inside, the shapes in front of the eye face it too.
    Camera_SetDistance(0.0f);
    Fill({0.0f, 0.0f, 0.0f, 1.0f});
    Run(0.0);
    EXPECT_GT(RedPixels(), 500);
}

TEST_F(ShapeSphereTest, NoShapesDrawNothing) {
    LoadSphere(Number("rings", "0"));
    Counters().Reset();
    Run(0.0);
    EXPECT_EQ(Counters().draws, 0u);
    EXPECT_EQ(Counters().maps, 0u);
}

}  // namespace
