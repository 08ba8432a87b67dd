#include "graphics/shapeRenderer.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "effects/bufferReadback.h"
#include "effects/shapesFixture.h"

namespace {

using TestSupport::PixelNear;

class ShapeRendererTest : public TestSupport::ShapesTest {
protected:
    void SetUp() override {
        ShapesTest::SetUp();
        if (!IsSkipped()) renderer = std::make_unique<ShapeRenderer>();
    }
    void TearDown() override {
        renderer.reset();
        ShapesTest::TearDown();
    }

    // Shapes 200 pixels across at (x, y) pixels from the middle of the target, drawn with one pixel
    // per world unit.
    void Draw(const std::vector<Vec3>& places, int type, float inner, float outer,
              Vec4 colour = {1, 1, 1, 1}) {
        std::vector<ShapeInstance> shapes;
        for (const Vec3& p : places) {
            ShapeInstance shape;
            shape.world = (Matrix::Scaling(200.0f) * Matrix::Translation(p.x, p.y, p.z)).Transposed();
            shape.type = type;
            shape.inner = inner;
            shape.outer = outer;
            shapes.push_back(shape);
        }
        renderer->SetInstances(shapes.data(), static_cast<uint32_t>(shapes.size()));
        renderer->colour = colour;
        renderer->viewProjection =
            Matrix::Scaling(2.0f / 800.0f, 2.0f / 600.0f, 1.0f) * Matrix::Translation(0, 0, 0.5f);
        renderer->Render(pair.get());
    }

    std::unique_ptr<ShapeRenderer> renderer;
};

TEST_F(ShapeRendererTest, EachTypeDrawsItsOutlineBetweenTheRadii) {
    struct Probe {
        float x, y;  // in radius units: 1 is the edge of the quad
        bool covered;
    };
    const struct {
        const char* what;
        int type;
        float inner, outer;
        std::vector<Probe> probes;
    } cases[] = {
        {"ring", 0, 0.5f, 1.0f, {{0, 0, false}, {0.75f, 0, true}, {0, -0.95f, true}, {0.9f, 0.9f, false}}},
        {"ring, radii the other way round", 0, 1.0f, 0.5f, {{0, 0, false}, {-0.75f, 0, true}}},
        {"triangle, corner down",
         1,
         0.0f,
         1.0f,
         {{0, 0, true}, {0, -0.9f, true}, {0, 0.7f, false}, {0.8f, -0.8f, false}}},
        {"triangle outline", 1, 0.8f, 1.0f, {{0, 0, false}, {0, 0.45f, true}}},
        {"square outline",
         2,
         0.5f,
         1.0f,
         {{0, 0, false}, {0.75f, 0, true}, {0.9f, 0.9f, true}, {0.3f, 0.3f, false}}},
        {"star, tip up",
         3,
         0.4f,
         1.0f,
         {{0, 0, true}, {0, 0.9f, true}, {0, -0.9f, false}, {0.9f, 0.9f, false}}},
        {"disc of the outer radius", 4, 0.9f, 0.5f, {{0, 0, true}, {0.4f, 0, true}, {0.7f, 0, false}}},
        {"unknown type", 9, 0.0f, 1.0f, {{0, 0, false}, {0.5f, 0, false}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Fill({0.0f, 0.0f, 0.0f, 1.0f});
        Draw({{0, 0, 0}}, c.type, c.inner, c.outer);
        const TestSupport::Image image = Current();
        for (const Probe& probe : c.probes) {
            const int v = probe.covered ? 255 : 0;
            EXPECT_TRUE(PixelNear(image, uint32_t(400 + probe.x * 100), uint32_t(300 - probe.y * 100),
                                  {v, v, v, 255}))
                << "at (" << probe.x << ", " << probe.y << ")";
        }
    }
}

TEST_F(ShapeRendererTest, EdgesAreSmoothedOverAboutOnePixel) {
    // The disc's edge crosses the row through its centre at x = 450.25.
    Draw({{0, 0, 0}}, 0, 0.0f, 0.5025f);
    const TestSupport::Image image = Current();
    EXPECT_EQ(image.At(448, 300)[0], 255);
    EXPECT_EQ(image.At(452, 300)[0], 0);
    EXPECT_GT(image.At(450, 300)[0], 10);
    EXPECT_LT(image.At(450, 300)[0], 245);
}

TEST_F(ShapeRendererTest, ShapesLieOverEachOtherInOrderWithoutDepth) {
    // The second square lies farther from the eye, yet is drawn over the first.
    Draw({{0, 0, 0.2f}, {50, 0, 0.4f}}, 2, 0.0f, 1.0f, {0.0f, 1.0f, 0.0f, 0.5f});
    EXPECT_TRUE(PixelNear(Current(), 320, 300, {0, 128, 0, 128})) << "one layer";
    EXPECT_TRUE(PixelNear(Current(), 420, 300, {0, 191, 0, 128})) << "two layers";
}

TEST_F(ShapeRendererTest, ConstantsHoldTheTransposedViewProjectionAndColourAndUploadOnlyOnChange) {
    renderer->viewProjection = Matrix::Translation(1.0f, 2.0f, 3.0f);
    renderer->colour = {0.1f, 0.2f, 0.3f, 0.4f};
    renderer->Render(pair.get());
    const auto constants = TestSupport::ReadBufferAs<ShapeConstants>(renderer->GetConstants().GetBuffer());
    EXPECT_EQ(constants.viewProjection, Matrix::Translation(1.0f, 2.0f, 3.0f).Transposed());
    EXPECT_EQ(constants.colour.z, 0.3f);
    Counters().Reset();
    renderer->Render(pair.get());
    EXPECT_EQ(Counters().maps, 0u) << "nothing changed";
    renderer->colour.w = 1.0f;
    renderer->Render(pair.get());
    EXPECT_EQ(Counters().maps, 1u) << "the colour changed";
}

TEST_F(ShapeRendererTest, NoShapesStillBindEverythingAndDrawNoInstances) {
    Counters().Reset();
    Draw({}, 0, 0.0f, 1.0f);
    EXPECT_EQ(Counters().draws, 1u);
    EXPECT_EQ(Context().VSGetShaderResource(5), renderer->GetInstances().GetView());
    EXPECT_TRUE(PixelNear(Current(), 400, 300, {0, 0, 0, 255}, 0));
}

TEST_F(ShapeRendererTest, UnbindableShaderClearsToFirebrick) {
    Data().Write("shapes.fx", "not a shader");
    ShapeRenderer broken;
    broken.Render(pair.get());
    EXPECT_TRUE(PixelNear(Current(), 10, 10, {178, 34, 34, 255}, 1));
}

}  // namespace
