#include "effects/cubePhysics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "effects/bufferReadback.h"
#include "effects/cubeMotionFixture.h"
#include "support/logCapture.h"

namespace {

using Effects::CubePhysics;
using TestSupport::LogCapture;
using TestSupport::Param;
using TestSupport::Position;

const std::string kColours = Param("colour1", 1, 0, 0, 1) + Param("colour2", 0, 1, 0, 1) +
                             Param("colour3", 1, 1, 0, 1) + Param("colourSpecular1", 1, 1, 1, 20) +
                             Param("colourSpecular2", 1, 1, 1, 20) + Param("colourSpecular3", 1, 1, 1, 20);

class CubePhysicsTest : public TestSupport::CubeMotionTest {
protected:
    /// A cube-physics effect with the colours, "frame" following the local time, and `params`.
    CubePhysics* LoadPhysics(const std::string& params) {
        return LoadOne<CubePhysics>("<effect type='CubePhysics'>" + kColours + params +
                                    "<param key='frame' type='double'><key time='0' value='0'/>"
                                    "<key time='1000' value='1000'/></param></effect>");
    }
};

// FNV-1a over every recorded world matrix, small cubes and big cube, frame by frame.
uint64_t RecordingHash(const CubePhysics& effect) {
    uint64_t hash = 1469598103934665603ull;
    auto add = [&hash](const CubeInstance& cube) {
        unsigned char bytes[sizeof cube.world];
        std::memcpy(bytes, &cube.world, sizeof bytes);
        for (unsigned char b : bytes) hash = (hash ^ b) * 1099511628211ull;
    };
    for (size_t f = 0; f < effect.GetFrameCount(); ++f) {
        for (const CubeInstance& cube : effect.SmallCubes(f)) add(cube);
        for (const CubeInstance& cube : effect.BigCube(f)) add(cube);
    }
    return hash;
}

// Any change to the simulation's or the recording's arithmetic changes this value; update it only on
// purpose, after checking that the new rain is right.
constexpr uint64_t kRecordingHash = 0xf960f0cc1f6feb32ull;

TEST_F(CubePhysicsTest, SameParametersRecordTheSameFramesOnEveryRun) {
    const std::string params = Param("seed", 7) + Param("numCubes", 60) + Param("numFrames", 240);
    CubePhysics* first = LoadPhysics(params);
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(first->GetFrameCount(), 240u);
    const uint64_t hash = RecordingHash(*first);
    CubePhysics* second = LoadPhysics(params);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(RecordingHash(*second), hash) << "two loads in one process differ";
    EXPECT_EQ(hash, kRecordingHash) << std::hex << "hash 0x" << hash;
}

TEST_F(CubePhysicsTest, ARainDestroyedWhileItIsRecordedStopsInsteadOfFinishing) {
    // A thousand cubes over two thousand frames take minutes to simulate; a show that ends (or
    // reloads its script) before that must not wait for them. Hanging here is the fault.
    ASSERT_NE(LoadPhysics(Param("numCubes", 1000) + Param("numFrames", 2000)), nullptr);
    effects.clear();
}

TEST_F(CubePhysicsTest, ChangingOnlyTheSeedMovesEveryCube) {
    CubePhysics* one = LoadPhysics(Param("seed", 1) + Param("numCubes", 30) + Param("numFrames", 2));
    ASSERT_NE(one, nullptr);
    const std::vector<CubeInstance> first(one->SmallCubes(0).begin(), one->SmallCubes(0).end());
    CubePhysics* two = LoadPhysics(Param("seed", 2) + Param("numCubes", 30) + Param("numFrames", 2));
    ASSERT_NE(two, nullptr);
    ASSERT_EQ(first.size(), 30u);
    ASSERT_EQ(two->SmallCubes(0).size(), 30u);
    for (size_t i = 0; i < first.size(); ++i) {
        const auto a = Position(first[i]), b = Position(two->SmallCubes(0)[i]);
        EXPECT_TRUE(a[0] != b[0] && a[1] != b[1] && a[2] != b[2]) << "cube " << i;
    }
}

TEST_F(CubePhysicsTest, DefaultFirstDropHeightsLieBelowTheCeilingAndAboveZero) {
    CubePhysics* effect = LoadPhysics(Param("numCubes", 300) + Param("numFrames", 1));
    ASSERT_NE(effect, nullptr);
    // A cube drawn exactly at the ceiling (10) is not shown; all others are.
    EXPECT_GE(effect->SmallCubes(0).size(), 295u);
    for (const CubeInstance& cube : effect->SmallCubes(0)) {
        EXPECT_GT(Position(cube)[1], 0.0f);
        EXPECT_LT(Position(cube)[1], 10.0f);
    }
}

TEST_F(CubePhysicsTest, CubesAtTheCeilingAreHiddenAndFallenOnesStartAgainFromIt) {
    // Every first drop is at the ceiling exactly: nothing is shown until the cubes fall below it.
    CubePhysics* effect =
        LoadPhysics(Param("numCubes", 40) + Param("numFrames", 300) + Param("initialHeightRange", 0) +
                    Param("ceiling", 6) + Param("floor", 0));
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->SmallCubes(0).size(), 0u);
    EXPECT_GT(effect->SmallCubes(1).size(), 0u);
    // Five seconds of falling would take a cube 120 below the floor; dropped again, none is ever
    // shown more than one step's fall below it.
    float lowest = 1e9f, highest = -1e9f;
    for (size_t f = 0; f < effect->GetFrameCount(); ++f) {
        for (const CubeInstance& cube : effect->SmallCubes(f)) {
            lowest = std::min(lowest, Position(cube)[1]);
            highest = std::max(highest, Position(cube)[1]);
        }
    }
    EXPECT_GT(lowest, -1.5f);
    EXPECT_LT(highest, 6.0f);
    EXPECT_GT(effect->SmallCubes(299).size(), 0u);
}

TEST_F(CubePhysicsTest, BigCubeIsAbsentUpToItsDelayAndLaunchedFromTwiceTheFloor) {
    CubePhysics* effect = LoadPhysics(Param("numCubes", 3) + Param("numFrames", 60) + Param("bigDelay", 50) +
                                      Param("bigSize", 4));
    ASSERT_NE(effect, nullptr);
    for (size_t f = 0; f <= 50; ++f) EXPECT_TRUE(effect->BigCube(f).empty()) << "frame " << f;
    ASSERT_EQ(effect->BigCube(51).size(), 1u);
    const CubeInstance& big = effect->BigCube(51)[0];
    EXPECT_FLOAT_EQ(Position(big)[1], -20.0f);
    // Uniformly scaled by its size: each row of the rotation part has length 4.
    const float* row = big.world.m[0];
    EXPECT_NEAR(std::sqrt(row[0] * row[0] + row[1] * row[1] + row[2] * row[2]), 4.0f, 1e-5f);
    ASSERT_EQ(effect->BigCube(59).size(), 1u);
    EXPECT_GT(Position(effect->BigCube(59)[0])[1], -20.0f) << "shot upwards";
}

TEST_F(CubePhysicsTest, FramePicksTheRecordingModuloItsLength) {
    CubePhysics* effect = LoadPhysics(Param("numCubes", 12) + Param("numFrames", 10));
    ASSERT_NE(effect, nullptr);
    // "frame" follows the local time one to one; below zero it is taken as unsigned.
    const struct {
        double time;
        size_t frame;
    } cases[] = {{3.0, 3}, {13.5, 3}, {9.0, 9}, {10.0, 0}};
    for (const auto& c : cases) EXPECT_EQ(effect->FrameAt(c.time), c.frame) << c.time;

    Frame(13.0);
    const auto shown = effect->SmallCubes(3);
    ASSERT_EQ(effect->GetSmallRenderer()->GetCount(), shown.size());
    const std::vector<uint8_t> bytes =
        TestSupport::ReadBufferBytes(effect->GetSmallRenderer()->GetInstances().GetBuffer());
    ASSERT_GE(bytes.size(), shown.size_bytes());
    EXPECT_EQ(std::memcmp(bytes.data(), shown.data(), shown.size_bytes()), 0) << "frame 3 was uploaded";

    CubePhysics* odd = LoadOne<CubePhysics>("<effect type='CubePhysics'>" + kColours +
                                            Param("numFrames", 10) + Param("frame", -1) + "</effect>");
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(odd->FrameAt(0.0), 4294967295u % 10u);
}

TEST_F(CubePhysicsTest, NoSmallCubesDrawNothingNotEvenTheBigCube) {
    for (const std::string& params :
         {Param("numCubes", 0) + Param("bigDelay", -1), Param("numFrames", 0), Param("numFrames", -3)}) {
        CubePhysics* effect = LoadPhysics(params);
        ASSERT_NE(effect, nullptr);
        for (double t : {0.0, 1.0, 7.0}) EXPECT_EQ(Covered(Frame(t)), 0u) << params << " at " << t;
        EXPECT_EQ(effect->GetBigRenderer()->GetCount(), 0u);
    }
}

TEST_F(CubePhysicsTest, BigCubeIsDrawnWithItsTextureAndWithoutOne) {
    Data().Write("red.png", TestSupport::Png(1, 1, {TestSupport::Rgba(255, 0, 0)}));
    // One small cube (near the top of the picture) and the big cube at y = -20, low in the middle.
    for (const char* texture : {"red.png", "missing.png"}) {
        LogCapture log;
        CubePhysics* effect = LoadPhysics(Param("numCubes", 1) + Param("numFrames", 5) +
                                          "<param key='texture' type='string' value='" + texture + "'/>" +
                                          Param("lightDirection", 0, 0, -1));
        ASSERT_NE(effect, nullptr) << texture;
        const auto picture = Frame(2.0);
        const TestSupport::PixelPoint middle = Project({0.0f, -20.0f, 0.0f});
        const auto centre = picture.At(middle.x, middle.y);
        EXPECT_NE(centre[2], 255) << texture << ": the big cube covers the background";
        if (std::string(texture) == "red.png") {
            EXPECT_GT(centre[0], 150) << "the atlas shows";
            EXPECT_LT(centre[1], 80);
        } else {
            EXPECT_FALSE(log.Lines().empty()) << "the failed texture was logged";
            EXPECT_GT(centre[0], 150) << "drawn in its plain white";
            EXPECT_GT(centre[1], 150);
        }
        EXPECT_EQ(effect->GetBigRenderer()->IsTextured(), std::string(texture) == "red.png");
    }
}

// Thousands of cubes over the largest recording would take minutes to simulate: the budget itself is
// checked on its own. It is memory: a two-minute rain at 60 frames a second records whole, and the
// largest load is cut to what fits in the budget, each frame holding its small cubes and the big one.
TEST(CubePhysicsBudget, ARecordingIsCutOnlyWhereItWouldPassTheMemoryBudget) {
    const int64_t record = int64_t(sizeof(CubeInstance));
    const struct {
        int cubes, frames, recorded;
    } cases[] = {
        {300, 600, 600},
        {300, 7200, 7200},
        {1000, 9000, 9000},
        {0, CubePhysics::kMaxFrames, CubePhysics::kMaxFrames},
        {-5, CubePhysics::kMaxFrames, CubePhysics::kMaxFrames},
        {300, 0, 0},
        {CubePhysics::kMaxCubes, CubePhysics::kMaxFrames,
         int(CubePhysics::kMaxRecordedBytes / ((CubePhysics::kMaxCubes + 1) * record))},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CubePhysics::FramesWithinBudget(c.cubes, c.frames), c.recorded)
            << c.cubes << " x " << c.frames;
    }
    const int cut = CubePhysics::FramesWithinBudget(CubePhysics::kMaxCubes, CubePhysics::kMaxFrames);
    const int64_t frameBytes = (CubePhysics::kMaxCubes + 1) * record;
    EXPECT_LE(cut * frameBytes, CubePhysics::kMaxRecordedBytes);
    EXPECT_GT((cut + 1) * frameBytes, CubePhysics::kMaxRecordedBytes);
    EXPECT_EQ(CubePhysics::kMaxRecordedBytes, int64_t(1) << 30);
}

TEST_F(CubePhysicsTest, AbsurdNumbersAreLoggedAndTheEffectStillPlays) {
    const struct {
        std::string params;
        size_t maxFrames;
    } cases[] = {
        {Param("numCubes", NAN) + Param("numFrames", 5), 5},
        {Param("numCubes", -5) + Param("numFrames", 5), 5},
        {Param("numCubes", 1e9) + Param("numFrames", 2), 2},
        {Param("numCubes", INFINITY) + Param("numFrames", 5), 5},
        {Param("numCubes", 0) + Param("numFrames", 1e9), CubePhysics::kMaxFrames},
        {Param("ceiling", NAN) + Param("floor", -1e30) + Param("numFrames", 5), 5},
        {Param("ceiling", 1e30) + Param("initialHeightRange", -INFINITY) + Param("numFrames", 5), 5},
        {Param("bigSize", 1e13) + Param("numFrames", 5), 5},
        {Param("bigSize", -3) + Param("numFrames", 5), 5},
        {Param("bigSize", NAN) + Param("seed", 1e12) + Param("bigDelay", -1e300) + Param("numFrames", 5), 5},
    };
    for (const auto& c : cases) {
        LogCapture log;
        CubePhysics* effect = LoadPhysics(c.params);
        ASSERT_NE(effect, nullptr) << c.params;
        EXPECT_LE(effect->GetFrameCount(), c.maxFrames) << c.params;
        Frame(1.0);
        bool explained = false;
        for (const auto& line : log.Lines()) explained |= line.function == "Effects::CubePhysics::Load";
        EXPECT_TRUE(explained) << c.params;
        for (size_t f = 0; f < effect->GetFrameCount(); f += 97) {
            for (const CubeInstance& cube : effect->SmallCubes(f)) {
                ASSERT_TRUE(std::isfinite(Position(cube)[1])) << c.params;
            }
        }
    }
}

}  // namespace
