// Music playback as the show sees it: positions in seconds, loading, the end of the music, seeking,
// an edited music file, and the smoothness of the clock. All on the silent output.
#include "system/audio.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <thread>

#include "support/logCapture.h"
#include "support/tempFolder.h"
#include "system/flags.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

class AudioTest : public testing::Test {
protected:
    void SetUp() override {
        // The dummy driver is no usable device: the sound system takes its silent output.
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        g_quit = false;
        ASSERT_TRUE(Audio_Init());
    }
    void TearDown() override {
        Audio_Shutdown();
        g_quit = false;
    }

    // Writes a 16-bit mono WAV tone of `milliseconds` into the data folder. Each test uses its own
    // names: the change registry remembers names for the whole process.
    void WriteMusic(const std::string& name, int milliseconds) {
        const auto path = m_folder.Path() / name;
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        ASSERT_NE(file, nullptr);
        std::vector<float> samples(static_cast<size_t>(44100 * milliseconds / 1000));
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = 0.3f * std::sin(0.06f * static_cast<float>(i));
        sf_writef_float(file, samples.data(), static_cast<sf_count_t>(samples.size()));
        sf_close(file);
    }

    bool Paused() {
        bool paused = false;
        Audio_GetChannel().GetPaused(paused);
        return paused;
    }

    TestSupport::TempFolder m_folder;
    TestSupport::MountedData m_data{m_folder.Path()};
};

TEST_F(AudioTest, ReportsAPositionOf1500MillisecondsAs1Point5Seconds) {
    WriteMusic("position.wav", 3000);
    ASSERT_TRUE(Audio_Load("position.wav"));
    Audio_Seek(1.5);
    EXPECT_EQ(Audio_Update(), 1.5);
    EXPECT_EQ(Audio_Update(), 1.5);  // paused: it stays there
}

TEST_F(AudioTest, LoadedMusicStandsPausedAtTheStartUntilResumed) {
    WriteMusic("ready.wav", 3000);
    ASSERT_TRUE(Audio_Load("ready.wav"));
    EXPECT_TRUE(Paused());
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(Audio_Update(), 0.0);

    Audio_SetVolume(0.25);
    Audio_Resume();
    EXPECT_FALSE(Paused());
    float volume = 0.0f;
    Audio_GetChannel().GetVolume(volume);
    EXPECT_FLOAT_EQ(volume, 0.25f);
    std::this_thread::sleep_for(100ms);
    EXPECT_GT(Audio_Update(), 0.05);
    EXPECT_FALSE(g_quit);
}

TEST_F(AudioTest, LoadingTheSameNameTwicePlaysOn) {
    WriteMusic("same.wav", 3000);
    ASSERT_TRUE(Audio_Load("same.wav"));
    Audio_Resume();
    std::this_thread::sleep_for(150ms);
    const double before = Audio_Update();
    ASSERT_TRUE(Audio_Load("same.wav"));
    Audio_Resume();  // the manager resumes after each load; playing music is left alone
    EXPECT_FALSE(Paused());
    EXPECT_GE(Audio_Update(), before);
}

TEST_F(AudioTest, LoadingAnotherFileStandsItReadyAtItsStart) {
    WriteMusic("first.wav", 3000);
    WriteMusic("second.wav", 3000);
    ASSERT_TRUE(Audio_Load("first.wav"));
    Audio_Resume();
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(Audio_Load("second.wav"));
    EXPECT_TRUE(Paused());
    EXPECT_EQ(Audio_Update(), 0.0);
}

TEST_F(AudioTest, EndOfTheMusicSetsTheQuitFlagInTheNextUpdate) {
    WriteMusic("short.wav", 200);
    ASSERT_TRUE(Audio_Load("short.wav"));
    Audio_Resume();
    const auto start = std::chrono::steady_clock::now();
    double last = 0.0;
    // A generous bound, only against a hang: the music ends by itself after 0.2 s of the clock.
    while (!g_quit && std::chrono::steady_clock::now() - start < 60s) {
        last = Audio_Update();
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_TRUE(g_quit);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 190ms);
    // The last frame shows the end of the music, not its start.
    EXPECT_NEAR(last, 0.2, 0.001);
}

TEST_F(AudioTest, WithoutMusicThePositionIsZeroForeverAndTheShowGoesOn) {
    ASSERT_TRUE(Audio_Load(""));
    Audio_Resume();
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(Audio_Update(), 0.0);
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_FALSE(g_quit);
}

TEST_F(AudioTest, MissingMusicIsLoggedAndLeavesNoMusic) {
    TestSupport::LogCapture log;
    EXPECT_FALSE(Audio_Load("missing.ogg"));
    const auto lines = log.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], (TestSupport::LogLine{"Audio_Load", "Couldn't load audio file 'missing.ogg'"}));
    // The name is remembered even though the load failed.
    EXPECT_TRUE(Audio_Load("missing.ogg"));
    Audio_Resume();
    EXPECT_EQ(Audio_Update(), 0.0);
    EXPECT_FALSE(g_quit);
}

TEST_F(AudioTest, UndecodableMusicLeavesTheShowTimeAtZero) {
    m_folder.Write("broken.ogg", "OggS but nothing after that");
    EXPECT_TRUE(Audio_Load("broken.ogg"));
    Audio_Resume();
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(Audio_Update(), 0.0);
    EXPECT_FALSE(g_quit);
}

TEST_F(AudioTest, SeekingBeforeTheStartOrPastTheEndChangesNothing) {
    WriteMusic("seek.wav", 2000);
    ASSERT_TRUE(Audio_Load("seek.wav"));
    Audio_Seek(1.0);
    ASSERT_EQ(Audio_Update(), 1.0);
    for (double seconds : {-1.5, -1e300, 1.0, 5.0, 1e300, std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(), std::nan("")}) {
        Audio_Seek(seconds);
        EXPECT_EQ(Audio_Update(), 1.0) << seconds;
    }
    Audio_Seek(-0.25);
    EXPECT_EQ(Audio_Update(), 0.75);
    EXPECT_FALSE(g_quit);
}

TEST_F(AudioTest, ReplacingTheMusicFileWhilePausedResumesAtThePausedPosition) {
    WriteMusic("edited.wav", 3000);
    ASSERT_TRUE(Audio_Load("edited.wav"));
    Audio_Resume();
    Audio_Update();  // registers the file with the change registry
    std::this_thread::sleep_for(300ms);
    Audio_GetChannel().SetPaused(true);
    std::this_thread::sleep_for(60ms);
    const double paused = Audio_Update();
    ASSERT_GT(paused, 0.25);

    WriteMusic("edited.wav", 3000);
    const auto path = m_folder.Path() / "edited.wav";
    std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + 2s);
    // The clock is read on both sides of each update: the music may only have moved on by as long as
    // this thread was away, however long the busy machine kept it.
    const auto beforeEdit = std::chrono::steady_clock::now();
    const double afterEdit = Audio_Update();
    const auto afterEditUpdate = std::chrono::steady_clock::now();
    EXPECT_FALSE(Paused());
    EXPECT_GE(afterEdit, paused - 0.002);
    EXPECT_LE(afterEdit, paused + 0.002 + Seconds(beforeEdit, afterEditUpdate));
    std::this_thread::sleep_for(100ms);
    const auto beforeLater = std::chrono::steady_clock::now();
    const double later = Audio_Update();
    const auto afterLater = std::chrono::steady_clock::now();
    EXPECT_GT(later, paused + Seconds(afterEditUpdate, beforeLater) - 0.04);
    EXPECT_LT(later, paused + 0.002 + Seconds(beforeEdit, afterLater));
}

TEST_F(AudioTest, PositionAdvancesSmoothlyFrameByFrameAt60Hz) {
    WriteMusic("smooth.wav", 5000);
    ASSERT_TRUE(Audio_Load("smooth.wav"));
    Audio_Resume();
    std::this_thread::sleep_for(100ms);

    // Frames paced at 60 Hz against absolute deadlines, as a vertical sync would.
    constexpr int kFrames = 120;
    constexpr auto kPeriod = std::chrono::nanoseconds(16666667);
    // Each update is bracketed by two readings of the clock; a frame whose update the machine
    // interrupted has a wide bracket and says nothing about the clock's evenness, only about bounds.
    std::vector<double> positions, times, before, after;
    const auto start = Clock::now();
    for (int i = 0; i < kFrames; ++i) {
        std::this_thread::sleep_until(start + i * kPeriod);
        before.push_back(Seconds(start, Clock::now()));
        positions.push_back(Audio_Update());
        after.push_back(Seconds(start, Clock::now()));
        times.push_back((before.back() + after.back()) / 2);
    }
    auto tight = [&](int i) { return after[i] - before[i] < 0.0005; };
    // Standard deviation of the steps between frames, in milliseconds.
    auto deviationOf = [&](auto step) {
        double sum = 0.0, sumSquares = 0.0;
        for (int i = 1; i < kFrames; ++i) {
            sum += step(i);
            sumSquares += step(i) * step(i);
        }
        const double mean = sum / (kFrames - 1);
        return std::sqrt(std::max(0.0, sumSquares / (kFrames - 1) - mean * mean));
    };
    auto positionStep = [&](int i) { return (positions[i] - positions[i - 1]) * 1000.0; };
    auto wallStep = [&](int i) { return (times[i] - times[i - 1]) * 1000.0; };
    // The music's mean step against the clock's own over the same frames: late frames make both longer.
    const double mean = (positions.back() - positions.front()) * 1000.0 / (kFrames - 1);
    const double wallMean = (times.back() - times.front()) * 1000.0 / (kFrames - 1);
    const double stepDeviation = deviationOf(positionStep);
    const double pacingDeviation = deviationOf(wallStep);
    // What the clock adds to the unevenness of the frames themselves (a loaded machine wakes late),
    // over the steps between frames that were not interrupted.
    double sum = 0.0, sumSquares = 0.0;
    int tightSteps = 0;
    for (int i = 1; i < kFrames; ++i) {
        if (!tight(i) || !tight(i - 1)) continue;
        const double excess = positionStep(i) - wallStep(i);
        sum += excess, sumSquares += excess * excess, ++tightSteps;
    }
    const double clockDeviation =
        tightSteps > 1
            ? std::sqrt(std::max(0.0, sumSquares / tightSteps - (sum / tightSteps) * (sum / tightSteps)))
            : 0.0;
    // The music never runs ahead of or behind the clock readings around its update.
    double worstDrift = 0.0;
    for (int i = 1; i < kFrames; ++i) {
        const double moved = positions[i] - positions[0];
        const double ahead = moved - (after[i] - before[0]), behind = (before[i] - after[0]) - moved;
        worstDrift = std::max({worstDrift, ahead * 1000.0, behind * 1000.0});
    }
    RecordProperty("mean_step_ms", std::to_string(mean));
    RecordProperty("step_deviation_ms", std::to_string(stepDeviation));
    RecordProperty("frame_pacing_deviation_ms", std::to_string(pacingDeviation));
    RecordProperty("clock_deviation_ms", std::to_string(clockDeviation));
    RecordProperty("uninterrupted_steps", std::to_string(tightSteps));
    EXPECT_NEAR(mean, wallMean, 0.3);
    if (tightSteps >= kFrames / 4) {
        EXPECT_LT(clockDeviation, 1.0);
    }
    EXPECT_LT(worstDrift, 3.0);
    // Frames that came on time must see even steps; late wake-ups of a busy machine are no fault of
    // the clock and were judged above.
    if (pacingDeviation < 0.3) {
        EXPECT_LT(stepDeviation, 1.0);
    }
}

}  // namespace
