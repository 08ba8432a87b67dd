// The small models of the overlay: the clock reading (bars and beats) and the frame-time history.
#include <gtest/gtest.h>

#include <cmath>

#include "overlay/clockReading.h"
#include "overlay/frameTimes.h"

namespace {

using Overlay::ClockReading;
using Overlay::FrameTimes;

TEST(ClockReading, CountsBarsAndBeatsFromOneInFours) {
    struct Case {
        double showTime;
        long long bar;
        int beat;
    };
    const Case cases[] = {{0.0, 1, 1},   {0.99, 1, 1}, {1.0, 1, 2},  {3.5, 1, 4},   {4.0, 2, 1},
                          {17.25, 5, 2}, {-0.5, 0, 4}, {-4.0, 0, 1}, {-4.01, -1, 4}};
    for (const Case& c : cases) {
        const ClockReading reading = ClockReading::At(1.0, c.showTime, false);
        EXPECT_EQ(reading.bar, c.bar) << c.showTime;
        EXPECT_EQ(reading.beat, c.beat) << c.showTime;
    }
    const ClockReading odd = ClockReading::At(2.0, NAN, true);
    EXPECT_EQ(odd.bar, 1);
    EXPECT_TRUE(odd.paused);
    EXPECT_EQ(odd.musicSeconds, 2.0);
}

TEST(FrameTimes, MeanAndWorstCoverTheLastSecondOnly) {
    FrameTimes times;
    EXPECT_EQ(times.MeanOfLastSecond(), 0.0);
    // A slow second, then sixty frames at 60 Hz with one hitch: only the latter second counts.
    for (int i = 0; i < 10; ++i) times.Add(0.1);
    for (int i = 0; i < 59; ++i) times.Add(i == 30 ? 0.05 : 1.0 / 60.0);
    EXPECT_NEAR(times.WorstOfLastSecond(), 0.05, 1e-12);
    const double mean = times.MeanOfLastSecond();
    EXPECT_GT(mean, 1.0 / 60.0);
    EXPECT_LT(mean, 0.02);
    // A single frame longer than a second is still the last second's frame.
    times.Add(2.5);
    EXPECT_EQ(times.WorstOfLastSecond(), 2.5);
    EXPECT_EQ(times.MeanOfLastSecond(), 2.5);
}

TEST(FrameTimes, KeepsTheNewestFramesInOrderAndRejectsNonsense) {
    FrameTimes times;
    for (size_t i = 0; i < FrameTimes::kCapacity + 3; ++i) times.Add(double(i) / 1000.0);
    ASSERT_EQ(times.Count(), FrameTimes::kCapacity);
    EXPECT_EQ(times.At(0), 3.0 / 1000.0);
    float ms[FrameTimes::kCapacity];
    ASSERT_EQ(times.CopyMilliseconds(ms), FrameTimes::kCapacity);
    EXPECT_FLOAT_EQ(ms[FrameTimes::kCapacity - 1], float(FrameTimes::kCapacity + 2));
    times.Add(NAN);
    times.Add(-1.0);
    EXPECT_EQ(times.At(FrameTimes::kCapacity - 1), 0.0);
    EXPECT_TRUE(std::isfinite(times.MeanOfLastSecond()));
}

}  // namespace
