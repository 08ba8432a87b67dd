#include "graphics/cubeRenderer.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "effects/bufferReadback.h"
#include "effects/cubeEffectFixture.h"

namespace {

using TestSupport::Image;
using TestSupport::PixelPoint;
using TestSupport::RgbNear;

class CubeRendererTest : public TestSupport::CubeSceneTest {
protected:
    void Draw(CubeRenderer& renderer, float start = 0.0f, float end = 1.0f,
              const Matrix& formation = Matrix::Identity()) {
        renderer.TakeCamera();
        renderer.Draw(formation, pair.get(), start, end);
    }
};

TEST_F(CubeRendererTest, ACubeLandsWhereTheCameraMathsPutsIt) {
    LookAt(20.0f, {20, 10, 0});
    CubeRenderer renderer(1, false);
    renderer.SetLightDirection(0, 0, -1);
    const Vec3 position{3, 2, -1};
    const CubeInstance cube = Cube(position, {1, 1, 1}, {1, 1, 1});
    renderer.SetInstances(&cube, 1);
    Draw(renderer);
    const Image picture = Current();

    const PixelPoint centre = Project(position);
    EXPECT_FALSE(IsBackground(picture, centre));
    // Every corner of the cube projects inside the drawn area; a little beyond the outermost, nothing.
    int left = 800, right = 0;
    for (float dx : {-0.5f, 0.5f})
        for (float dy : {-0.5f, 0.5f})
            for (float dz : {-0.5f, 0.5f}) {
                const PixelPoint corner = Project({position.x + dx, position.y + dy, position.z + dz});
                left = std::min(left, corner.x);
                right = std::max(right, corner.x);
            }
    EXPECT_FALSE(IsBackground(picture, {left + 2, centre.y}));
    EXPECT_FALSE(IsBackground(picture, {right - 2, centre.y}));
    EXPECT_TRUE(IsBackground(picture, {left - 3, centre.y}));
    EXPECT_TRUE(IsBackground(picture, {right + 3, centre.y}));
}

TEST_F(CubeRendererTest, TheFaceTurnedToTheLightIsLitAndTheOtherUnlit) {
    LookAt(10.0f);
    CubeRenderer renderer(1, false);
    const CubeInstance cube = Cube({0, 0, 0}, {1, 0, 0}, {0, 0, 1});
    renderer.SetInstances(&cube, 1);
    renderer.SetLightDirection(0, 0, -1);  // travelling away from the viewer: the front is lit
    Draw(renderer);
    EXPECT_TRUE(RgbNear(Current(), 400, 300, {255, 0, 0}, 3));

    Context().ClearDepthStencilView(g_graphics.depthView, Gpu::CLEAR_DEPTH, 1.0f, 0);
    renderer.SetLightDirection(0, 0, 1);  // towards the viewer: the front faces away from the light
    Draw(renderer);
    EXPECT_TRUE(RgbNear(Current(), 400, 300, {0, 0, 255}, 3));
}

TEST_F(CubeRendererTest, StartAndEndPickARangeOfTheInstances) {
    LookAt(40.0f);
    std::vector<CubeInstance> cubes;
    for (int i = 0; i < 10; ++i) cubes.push_back(Cube({-13.5f + 3.0f * i, 0, 0}, {1, 1, 1}, {1, 1, 1}));
    CubeRenderer renderer(10, false);
    renderer.SetInstances(cubes.data(), 10);
    renderer.SetLightDirection(0, 0, -1);

    Counters().Reset();
    Draw(renderer, 0.25f, 0.5f);
    EXPECT_EQ(Counters().instances, 3u);
    EXPECT_EQ(TestSupport::ReadBufferAs<CubeConstants>(renderer.GetConstants().GetBuffer()).first, 2);
    const Image picture = Current();
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(IsBackground(picture, Project({-13.5f + 3.0f * i, 0, 0})), i < 2 || i > 4) << "cube " << i;
    }

    Counters().Reset();
    Draw(renderer, -0.5f, 2.0f);
    EXPECT_EQ(Counters().instances, 10u);
    EXPECT_EQ(TestSupport::ReadBufferAs<CubeConstants>(renderer.GetConstants().GetBuffer()).first, 0);
}

TEST_F(CubeRendererTest, AnEmptyRangeLeavesTheTargetUntouched) {
    LookAt(10.0f);
    const CubeInstance cube = Cube({0, 0, 0});
    CubeRenderer filled(1, false), empty(4, false);
    filled.SetInstances(&cube, 1);
    Fill({0.25f, 0.5f, 0.75f, 1.0f});
    const Image before = Current();
    Counters().Reset();
    Draw(filled, 0.5f, 0.5f);
    Draw(filled, 0.8f, 0.2f);
    Draw(empty);
    EXPECT_EQ(Counters().draws, 0u);
    EXPECT_TRUE(TestSupport::ImagesNear(Current(), before, 0, 0.0, "cube-empty-range"));
}

// Bounds far outside [0, 1] must not reach the integer conversion unclamped: a start of 3e6 with
// 1000 cubes is 3e9, beyond any int, and would turn into a huge draw.
TEST_F(CubeRendererTest, BoundsBeyondTheEndsDrawNothingAndNaNMeansTheWholeRange) {
    LookAt(10.0f);
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<CubeInstance> cubes(1000, Cube({0, 0, 0}));
    CubeRenderer renderer(1000, false);
    renderer.SetInstances(cubes.data(), 1000);
    struct Case {
        float start, end;
        uint64_t instances;
    };
    const Case cases[] = {
        {1.5f, 1.0f, 0},   {3e6f, 1.0f, 0},  {inf, 1.0f, 0},   {3e6f, inf, 0},
        {0.0f, -0.5f, 0},  {0.0f, -3e6f, 0}, {0.0f, -inf, 0},  {-inf, -3e6f, 0},
        {3e6f, -3e6f, 0},  {inf, -inf, 0},   {nan, -inf, 0},   {inf, nan, 0},
        {-inf, inf, 1000}, {nan, nan, 1000}, {nan, 0.5f, 500}, {0.999f, 3e6f, 1},
    };
    for (const Case& c : cases) {
        Counters().Reset();
        Draw(renderer, c.start, c.end);
        EXPECT_EQ(Counters().draws, c.instances > 0 ? 1u : 0u) << "start " << c.start << ", end " << c.end;
        EXPECT_EQ(Counters().instances, c.instances) << "start " << c.start << ", end " << c.end;
    }
}

TEST_F(CubeRendererTest, UnchangedInstancesAndConstantsUploadOnce) {
    LookAt(10.0f);
    const CubeInstance cubes[2] = {Cube({-1, 0, 0}), Cube({1, 0, 0})};
    CubeRenderer renderer(2, false);
    Counters().Reset();
    renderer.SetInstances(cubes, 2);
    Draw(renderer);
    const uint64_t first = Counters().uploads;
    EXPECT_GT(first, 0u);
    renderer.SetInstances(cubes, 2);
    Draw(renderer);
    EXPECT_EQ(Counters().uploads, first);
}

TEST_F(CubeRendererTest, TheLightDirectionIsStoredNormalised) {
    CubeRenderer renderer(1, false);
    EXPECT_EQ(renderer.lightDirection.x, 1.0f);
    renderer.SetLightDirection(0, -1, -0.2f);
    EXPECT_NEAR(renderer.lightDirection.x, 0.0f, 1e-6f);
    EXPECT_NEAR(renderer.lightDirection.y, -0.98058f, 1e-5f);
    EXPECT_NEAR(renderer.lightDirection.z, -0.19612f, 1e-5f);
    renderer.SetLightDirection(0, 0, 0);
    EXPECT_EQ(renderer.lightDirection.x, 0.0f);
    EXPECT_EQ(renderer.lightDirection.y, 0.0f);
    EXPECT_EQ(renderer.lightDirection.z, 0.0f);
}

TEST_F(CubeRendererTest, ABrokenPixelEntryFillsTheTargetWithPink) {
    // "VS" compiles; the pixel entry does not exist.
    Data().Write("cubes.fx",
                 "float4 VS(float3 p : POSITION) : SV_Position { return float4(p, 1); }\n"
                 "float4 PS_Other() : SV_Target { return 1; }\n");
    LookAt(10.0f);
    const CubeInstance cube = Cube({0, 0, 0});
    CubeRenderer renderer(1, false);
    renderer.SetInstances(&cube, 1);
    Draw(renderer);
    const Image picture = Current();
    EXPECT_TRUE(RgbNear(picture, 0, 0, {255, 105, 180}, 1));
    EXPECT_TRUE(RgbNear(picture, 400, 300, {255, 105, 180}, 1));
}

TEST_F(CubeRendererTest, ANearCubeHidesAFarOneWhateverTheOrder) {
    LookAt(10.0f);
    const CubeInstance nearCube = Cube({0, 0, 2}, {0, 1, 0}, {0, 1, 0});
    const CubeInstance farCube = Cube({0, 0, -2}, {1, 0, 0}, {1, 0, 0}, 3.0f);
    for (const bool nearFirst : {true, false}) {
        Context().ClearDepthStencilView(g_graphics.depthView, Gpu::CLEAR_DEPTH, 1.0f, 0);
        const CubeInstance cubes[2] = {nearFirst ? nearCube : farCube, nearFirst ? farCube : nearCube};
        CubeRenderer renderer(2, false);
        renderer.SetInstances(cubes, 2);
        renderer.SetLightDirection(0, 0, -1);
        Draw(renderer);
        EXPECT_TRUE(RgbNear(Current(), 400, 300, {0, 255, 0}, 3)) << "near cube drawn first: " << nearFirst;
    }
}

TEST_F(CubeRendererTest, TheFormationMovesEveryCube) {
    LookAt(20.0f);
    const CubeInstance cube = Cube({0, 0, 0}, {1, 1, 1}, {1, 1, 1});
    CubeRenderer renderer(1, false);
    renderer.SetInstances(&cube, 1);
    const Matrix formation = Matrix::Translation(4, -3, 0);
    Draw(renderer, 0, 1, formation);
    const Image picture = Current();
    EXPECT_TRUE(IsBackground(picture, Project({0, 0, 0})));
    EXPECT_FALSE(IsBackground(picture, Project({0, 0, 0}, formation)));
}

TEST_F(CubeRendererTest, PostPositionMovesTheCubeByHalfThePicture) {
    LookAt(10.0f);
    const CubeInstance cube = Cube({0, 0, 0}, {1, 1, 1}, {1, 1, 1}, 0.5f);
    CubeRenderer renderer(1, false);
    renderer.SetInstances(&cube, 1);
    // One unit of normalized device coordinates is half the picture's width: the cube's centre goes
    // from the middle to the right edge.
    Camera_SetPostPosition({1, 0});
    Draw(renderer);
    const Image picture = Current();
    EXPECT_TRUE(IsBackground(picture, {400, 300}));
    EXPECT_TRUE(IsBackground(picture, {780, 300}));
    EXPECT_FALSE(IsBackground(picture, {795, 300}));
}

}  // namespace
