#include "graphics/shapeRenderer.h"

#include <gtest/gtest.h>

#include <vector>

#include "effects/bufferReadback.h"
#include "effects/screenEffectFixture.h"

namespace {

using TestSupport::Image;
using TestSupport::PixelNear;

// One pixel per world unit around the middle of the target, y up.
Matrix PixelProjection() {
    return Matrix::Scaling(2.0f / 800.0f, 2.0f / 600.0f, 1.0f) * Matrix::Translation(0, 0, 0.5f);
}

class ShapeRendererTest : public TestSupport::ScreenEffectTest {
protected:
    void SetUp() override {
        ScreenEffectTest::SetUp();
        if (IsSkipped()) return;
        CopyDemoFile("shapes.fx");
        Fill({0.0f, 0.0f, 0.0f, 1.0f});
    }

    // A shape 200 pixels across centred at (x, y) pixels from the middle of the target.
    static ShapeInstance Shape(float x, float y, int type, float inner, float outer) {
        ShapeInstance shape;
        shape.world = (Matrix::Scaling(200.0f) * Matrix::Translation(x, y, 0.0f)).Transposed();
        shape.type = type;
        shape.inner = inner;
        shape.outer = outer;
        return shape;
    }

    void Draw(ShapeRenderer& renderer, const std::vector<ShapeInstance>& shapes, Vec4 colour = {1, 1, 1, 1}) {
        renderer.SetInstances(shapes.data(), static_cast<uint32_t>(shapes.size()));
        renderer.colour = colour;
        renderer.viewProjection = PixelProjection();
        renderer.Render(pair.get());
    }
};

// A point inside a shape, in its radius units (1 is the edge of the quad), and whether it is drawn.
struct Probe {
    float x, y;
    bool covered;
};

struct TypeCase {
    const char* what;
    int type;
    float inner, outer;
    std::vector<Probe> probes;
};

TEST_F(ShapeRendererTest, EachTypeDrawsItsOutlineBetweenTheRadii) {
    const std::vector<TypeCase> cases = {
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
    for (const TypeCase& c : cases) {
        SCOPED_TRACE(c.what);
        Fill({0.0f, 0.0f, 0.0f, 1.0f});
        ShapeRenderer renderer;
        Draw(renderer, {Shape(0, 0, c.type, c.inner, c.outer)});
        const Image image = Current();
        for (const Probe& probe : c.probes) {
            // Radius 1 is 100 pixels; rows run down.
            const uint32_t x = static_cast<uint32_t>(400.0f + probe.x * 100.0f);
            const uint32_t y = static_cast<uint32_t>(300.0f - probe.y * 100.0f);
            const int expected = probe.covered ? 255 : 0;
            EXPECT_TRUE(PixelNear(image, x, y, {expected, expected, expected, 255}, 2))
                << "at (" << probe.x << ", " << probe.y << ")";
        }
    }
}

TEST_F(ShapeRendererTest, EdgesAreSmoothedOverAboutOnePixel) {
    ShapeRenderer renderer;
    Draw(renderer, {Shape(0, 0, 0, 0.0f, 0.5025f)});
    const Image image = Current();
    // Along the row through the centre the disc's edge lies at x = 450.25, inside the pixel from 450
    // to 451: full inside, empty two pixels out, and something in between on the edge itself.
    int partial = 0;
    for (uint32_t x = 445; x < 456; ++x) {
        const int value = image.At(x, 300)[0];
        if (x <= 447) {
            EXPECT_EQ(value, 255) << x;
        }
        if (x >= 452) {
            EXPECT_EQ(value, 0) << x;
        }
        if (value > 10 && value < 245) ++partial;
    }
    EXPECT_GE(partial, 1);
    EXPECT_LE(partial, 3);
}

TEST_F(ShapeRendererTest, ShapesLieOverEachOtherInOrderUnderTheAlphaBlend) {
    ShapeRenderer renderer;
    // A half-transparent square over an opaque one drawn by the same call: the later is on top.
    Draw(renderer, {Shape(0, 0, 2, 0.0f, 1.0f), Shape(50, 0, 2, 0.0f, 1.0f)}, {0.0f, 1.0f, 0.0f, 0.5f});
    const Image image = Current();
    EXPECT_TRUE(PixelNear(image, 320, 300, {0, 128, 0, 128}, 2)) << "one layer";
    EXPECT_TRUE(PixelNear(image, 420, 300, {0, 191, 0, 128}, 2)) << "two layers";
}

TEST_F(ShapeRendererTest, ConstantsHoldTheTransposedViewProjectionAndColourAndUploadOnlyOnChange) {
    ShapeRenderer renderer;
    Matrix viewProjection = Matrix::Translation(1.0f, 2.0f, 3.0f);
    renderer.viewProjection = viewProjection;
    renderer.colour = {0.1f, 0.2f, 0.3f, 0.4f};
    renderer.Render(pair.get());
    const auto constants = TestSupport::ReadBufferAs<ShapeConstants>(renderer.GetConstants().GetBuffer());
    EXPECT_EQ(constants.viewProjection, viewProjection.Transposed());
    EXPECT_EQ(constants.colour.z, 0.3f);

    Counters().Reset();
    renderer.Render(pair.get());
    EXPECT_EQ(Counters().maps, 0u) << "nothing changed";
    renderer.colour.w = 1.0f;
    renderer.Render(pair.get());
    EXPECT_EQ(Counters().maps, 1u) << "the colour changed";
}

TEST_F(ShapeRendererTest, NoShapesStillBindEverythingAndDrawNoInstances) {
    ShapeRenderer renderer;
    renderer.SetInstances(nullptr, 0);
    Counters().Reset();
    renderer.Render(pair.get());
    EXPECT_EQ(Counters().draws, 1u);
    EXPECT_EQ(Context().VSGetShaderResource(5), renderer.GetInstances().GetView());
    EXPECT_TRUE(PixelNear(Current(), 400, 300, {0, 0, 0, 255}, 0));
}

TEST_F(ShapeRendererTest, MoreShapesThanTheCapacityAreCutToIt) {
    ShapeRenderer renderer;
    std::vector<ShapeInstance> shapes(ShapeRenderer::kCapacity + 5, Shape(0, 0, 0, 0.0f, 1.0f));
    renderer.SetInstances(shapes.data(), static_cast<uint32_t>(shapes.size()));
    EXPECT_EQ(renderer.GetInstances().GetCount(), ShapeRenderer::kCapacity);
}

TEST_F(ShapeRendererTest, UnbindableShaderClearsToFirebrick) {
    Data().Write("shapes.fx", "not a shader");
    ShapeRenderer renderer;
    Draw(renderer, {Shape(0, 0, 0, 0.0f, 1.0f)});
    EXPECT_TRUE(PixelNear(Current(), 10, 10, {178, 34, 34, 255}, 1));
}

}  // namespace
