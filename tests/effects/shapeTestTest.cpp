#include "effects/shapeTest.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "effects/shapesFixture.h"

namespace {

using Effects::ShapeTest;
using TestSupport::CountLines;
using TestSupport::LogCapture;

// The noise written out again from its description, in double: the runtime's generator seeded with
// 123, five draws thrown away per entry, the shuffle, then four octaves.
struct ReferenceNoise {
    int perm[1026];
    double g1[1026];

    ReferenceNoise() {
        uint32_t state = 123;
        auto rand = [&] {
            state = state * 214013u + 2531011u;
            return int((state >> 16) & 0x7fff);
        };
        for (int i = 0; i < 1024; ++i) {
            perm[i] = i;
            g1[i] = double(rand() % 2048 - 1024) / 1024.0;
            for (int j = 0; j < 5; ++j) rand();
        }
        for (int i = 1023; i >= 1; --i) std::swap(perm[i], perm[rand() % 1024]);
        for (int i = 0; i < 2; ++i) perm[1024 + i] = perm[i], g1[1024 + i] = g1[i];
    }
    double operator()(double x) const {
        double sum = 0.0, a = 1.0;
        for (int octave = 0; octave < 4; ++octave, a *= 0.5, x *= 2.0) {
            const double t = x + 4096.0;
            const int b0 = int(t) & 1023, b1 = (b0 + 1) & 1023;
            const double r = t - int(t);
            const double u = r * g1[perm[b0]], v = (r - 1.0) * g1[perm[b1]];
            sum += (u + r * r * (3.0 - 2.0 * r) * (v - u)) * a;
        }
        return sum;
    }
};

class ShapeTestTest : public TestSupport::ShapesTest {
protected:
    size_t Figure(char letter, float h) {
        figures.BuildFigure(letter, h, shapes);
        return shapes.size();
    }
    size_t Due(double t, const std::string& sequence) {
        figures.BuildShapes(t, sequence, shapes);
        return shapes.size();
    }

    ShapeTest figures;
    std::vector<ShapeInstance> shapes;
};

TEST_F(ShapeTestTest, NoiseTableAndValuesMatchTheirDescription) {
    const ReferenceNoise reference;
    const ShapeTest::NoiseTable& table = figures.GetNoiseTable();
    for (int i = 0; i < 1026; ++i) {
        ASSERT_EQ(table.permutation[i], reference.perm[i]) << i;
        ASSERT_EQ(table.gradient[i], float(reference.g1[i])) << i;
    }
    for (double x : {0.0, 0.2, 0.41, 0.5337, 0.93, 1.7, -0.3}) {
        EXPECT_NEAR(figures.Noise(float(x)), reference(x), 1e-4) << x;
    }
    EXPECT_TRUE(std::isfinite(figures.Noise(std::numeric_limits<float>::infinity())));
    EXPECT_TRUE(std::isfinite(figures.Noise(1e30f)));
}

TEST_F(ShapeTestTest, LettersBuildTheirFigures) {
    const struct {
        char letter;
        float h;
        size_t shapes;
    } cases[] = {
        {'A', 0.3f, 3},   {'B', 0.3f, 8},   {'C', 0.3f, 85},  {'D', 0.3f, 1},   {'G', 0.5f, 5},
        {'G', 0.75f, 10}, {'H', 0.0f, 20},  {'H', 0.25f, 23}, {'H', 0.75f, 36}, {'I', 0.25f, 12},
        {'I', 0.5f, 0},   {'I', 0.75f, 18}, {'J', 0.5f, 0},   {'a', 0.5f, 0},   {'\0', 0.5f, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Figure(c.letter, c.h), c.shapes) << "letter '" << c.letter << "' at phase " << c.h;
    }
}

TEST_F(ShapeTestTest, WobblingLettersCountShapesByTheNoise) {
    const ReferenceNoise noise;
    for (float h = 0.0f; h < 1.0f; h += 0.0625f) {
        size_t e = 4;
        for (int i = 0; i <= 4; ++i) e += noise(0.41 + i * 0.53 * h * 0.23) > 0.1;
        EXPECT_EQ(Figure('E', h), e) << "E at " << h;
        EXPECT_EQ(Figure('F', h), noise(0.73 * h + 0.2) < 0.1 ? 18u : 6u) << "F at " << h;
    }
}

TEST_F(ShapeTestTest, FigureRecordsCarryTheirPlaceTypeAndRadii) {
    // C: row by row from j = -2, each from i = -8; the outer columns lag behind the middle.
    ASSERT_EQ(Figure('C', 0.5f), 85u);
    EXPECT_EQ(shapes[0].type, 2);
    EXPECT_FLOAT_EQ(shapes[0].inner, 0.0f);
    EXPECT_FLOAT_EQ(shapes[0].outer, 1.0f);
    EXPECT_FLOAT_EQ(shapes[8].inner, 1.0f);
    const Vec3 first = shapes[0].world.Transposed().TransformPoint({0, 0, 0});
    EXPECT_FLOAT_EQ(first.x, -80.0f);
    EXPECT_FLOAT_EQ(first.y, -20.0f);
    // A: scaled before it is placed, so the squares lie 50 apart.
    ASSERT_EQ(Figure('A', 0.5f), 3u);
    const Vec3 last = shapes[2].world.Transposed().TransformPoint({0, 0, 0});
    EXPECT_FLOAT_EQ(last.x, 50.0f);
    EXPECT_FLOAT_EQ(last.z, 2.5f);
    // G past half way: rings, the second of each pair growing.
    ASSERT_EQ(Figure('G', 0.75f), 10u);
    EXPECT_EQ(shapes[1].type, 0);
    EXPECT_FLOAT_EQ(shapes[1].inner, 0.8f + 0.21f * 0.75f);
}

TEST_F(ShapeTestTest, OneLetterEveryTwoSecondsOfLocalTime) {
    // At 5.0, the third letter at phase 0.5; at 4.0 the third at phase 0.
    EXPECT_EQ(Due(5.0, "AAIA"), 0u) << "I at exactly half way";
    EXPECT_EQ(Due(5.0, "AACA"), 85u);
    EXPECT_EQ(Due(4.0, "AAHA"), 20u) << "H at phase 0";
    // A letter without a figure after A: A for two seconds, then nothing.
    for (double t : {0.0, 1.99}) EXPECT_EQ(Due(t, "A!"), 3u) << t;
    for (double t :
         {2.0, 3.5, 4.0, -0.5, std::nan(""), 1e300, -1e300, std::numeric_limits<double>::infinity()}) {
        EXPECT_EQ(Due(t, "A!"), 0u) << t;
    }
}

TEST_F(ShapeTestTest, FigureIsAddedOntoThePictureAndTheAlphaBlendBoundAgain) {
    // Letter A at phase 0.5: three square frames side by side around the middle of the screen.
    Camera_SetDistance(200.0f);
    LoadEffect<ShapeTest>("ShapeTest",
                          "<param key='sequence' type='string' value='A'/>"
                          "<param key='colour' type='vec4' x='0.25' y='0' z='0.5' w='0.2'/>");
    Fill({0.5f, 0.5f, 0.5f, 1.0f});
    Counters().Reset();
    Run(1.0);
    EXPECT_EQ(Counters().draws, 1u);
    // 2.14 pixels per unit at this distance: the middle frame spans 27 to 53 pixels from the centre.
    EXPECT_TRUE(TestSupport::RgbNear(Current(), 440, 300, {191, 128, 255})) << "added, whatever the alpha";
    EXPECT_TRUE(TestSupport::RgbNear(Current(), 400, 300, {128, 128, 128})) << "inside the frame";

    // A shape drawn next meets the alpha blend again.
    ShapeRenderer renderer;
    ShapeInstance disc;
    disc.type = 4;
    disc.outer = 1.0f;
    disc.world = Matrix::Scaling(2.0f).Transposed();
    renderer.SetInstances(&disc, 1);
    renderer.colour = {0.0f, 0.0f, 1.0f, 0.5f};
    renderer.Render(pair.get());
    EXPECT_TRUE(TestSupport::RgbNear(Current(), 400, 300, {64, 64, 191}));
}

TEST_F(ShapeTestTest, SequenceIsABCDWithoutOneAndNothingWhenOfTheWrongType) {
    LoadEffect<ShapeTest>("ShapeTest", "");
    Counters().Reset();
    for (double t : {1.0, 3.0, 5.0, 7.0, 9.0}) Run(t);
    EXPECT_EQ(Counters().draws, 4u) << "A, B, C and D, then nothing";
    LogCapture log;
    LoadEffect<ShapeTest>("ShapeTest", "<param key='sequence' type='vec2' x='1' y='2'/>");
    Counters().Reset();
    Run(1.0);
    EXPECT_EQ(Counters().draws, 0u);
    EXPECT_GE(CountLines(log, "wrong type"), 1);
}

}  // namespace
