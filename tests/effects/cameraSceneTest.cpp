#include "effects/cameraScene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "effects/cubeEffectFixture.h"
#include "effects/effectFactory.h"
#include "support/logCapture.h"

namespace {

using TestSupport::LogCapture;

class CameraSceneTest : public TestSupport::CubeSceneTest {
protected:
    static std::string Scene(const std::string& extra = "", double distance = 25, double start = 0) {
        return "<effect type='CameraScene' start='" + std::to_string(start) +
               "' length='10'>"
               "<param key='anchor' type='vec3' x='1' y='2' z='3'/>"
               "<param key='distance' type='double'><key time='0' value='" +
               std::to_string(distance) + "'/><key time='10' value='" + std::to_string(distance + 10) +
               "'/></param>"
               "<param key='rotation' type='vec3' x='30' y='20' z='10'/>"
               "<param key='fov' type='double' value='60'/>" +
               extra + "</effect>";
    }
};

TEST_F(CameraSceneTest, WritesItsParametersAtTheLocalTimeIntoTheCamera) {
    ASSERT_TRUE(Load(Scene("<param key='postPosition' type='vec2' x='0.5' y='-0.25'/>")));
    Run(5.0);
    EXPECT_EQ(g_camera.anchor.x, 1.0f);
    EXPECT_EQ(g_camera.anchor.z, 3.0f);
    EXPECT_EQ(g_camera.distance, 30.0f);
    EXPECT_EQ(g_camera.rotation.x, 30.0f);
    EXPECT_EQ(g_camera.rotation.z, 10.0f);
    EXPECT_EQ(g_camera.fieldOfView, 60.0f);
    EXPECT_EQ(g_camera.postPosition.x, 0.5f);
    EXPECT_EQ(g_camera.postPosition.y, -0.25f);
    EXPECT_TRUE(g_camera.viewDirty);
    EXPECT_TRUE(g_camera.projectionDirty);
}

TEST_F(CameraSceneTest, TheSameValuesTwiceLeaveTheMatricesClean) {
    ASSERT_TRUE(Load(Scene()));
    Run(2.0);
    UpdateCamera();
    Run(2.0);
    EXPECT_FALSE(g_camera.viewDirty);
    EXPECT_FALSE(g_camera.projectionDirty);
}

TEST_F(CameraSceneTest, ASceneWithoutPostPositionTakesBackAnEarlierShift) {
    ASSERT_TRUE(Load(Scene("<param key='postPosition' type='vec2' x='1' y='1'/>") + Scene("", 25, 20)));
    Run(1.0);
    EXPECT_EQ(g_camera.postPosition.x, 1.0f);
    Run(21.0);
    EXPECT_EQ(g_camera.postPosition.x, 0.0f);
    EXPECT_EQ(g_camera.postPosition.y, 0.0f);
}

TEST_F(CameraSceneTest, ClearsTheDepthBeforeItsChildrenDraw) {
    // A cube drawn before the scene starts leaves depth behind that would hide the child's cube.
    LookAt(25.0f);
    CubeRenderer blocker(1, false);
    const CubeInstance wall = Cube({0, 0, 10}, {0, 0, 0}, {0, 0, 0}, 8.0f);
    blocker.SetInstances(&wall, 1);
    blocker.TakeCamera();
    blocker.Draw(Matrix::Identity(), pair.get(), 0, 1);
    Fill({0, 0, 0, 1});

    struct Child : Effects::Effect {
        void Render(double, RenderTexturePair* target) override {
            CubeRenderer renderer(1, false);
            const CubeInstance cube = TestSupport::CubeSceneTest::Cube({0, 0, 0}, {1, 1, 1}, {1, 1, 1});
            renderer.SetInstances(&cube, 1);
            renderer.TakeCamera();
            renderer.Draw(Matrix::Identity(), target, 0, 1);
        }
    };
    Effects::ScopedEffectType type("TestCube", [] { return std::unique_ptr<Effects::Effect>(new Child); });
    ASSERT_TRUE(
        Load("<effect type='CameraScene'>"
             "<param key='anchor' type='vec3' x='0' y='0' z='0'/>"
             "<param key='distance' type='double' value='25'/>"
             "<param key='rotation' type='vec3' x='0' y='0' z='0'/>"
             "<param key='fov' type='double' value='70'/>"
             "<effect type='TestCube'/></effect>"));
    Run(0.0);
    EXPECT_FALSE(IsBackground(Current(), {400, 300}));
}

TEST_F(CameraSceneTest, MissingRequiredParametersAreLoggedAndReadAsZero) {
    ASSERT_TRUE(Load("<effect type='CameraScene'><param key='fov' type='double' value='50'/></effect>"));
    LogCapture log;
    Run(0.0);
    const auto texts = log.Texts();
    for (const char* name : {"anchor", "distance", "rotation"}) {
        EXPECT_NE(std::find(texts.begin(), texts.end(), std::string("Couldn't find param '") + name + "'"),
                  texts.end())
            << name;
    }
    EXPECT_EQ(g_camera.distance, 0.0f);
    EXPECT_EQ(g_camera.fieldOfView, 50.0f);
}

}  // namespace
