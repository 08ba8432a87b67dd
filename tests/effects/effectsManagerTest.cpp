// The effects manager on a headless device with the silent sound output: the show clock, the
// transport keys (held through the key-state override), hot reload of the script and of the music,
// failures of the script and the music, and the final pass onto the back buffer.
//
// Sections: fixture and probe effect; show clock; transport keys; reload; failures; final pass.
#include "effects/effectsManager.h"

#include <gtest/gtest.h>
#include <physfs.h>
#include <pugixml.hpp>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "e2e/showFolder.h"
#include "effects/effectFactory.h"
#include "main/device.h"
#include "platform/window/window.h"
#include "support/logCapture.h"
#include "support/showFixture.h"
#include "support/zipArchive.h"
#include "system/audio.h"
#include "system/fileWatcher.h"
#include "system/flags.h"

namespace {

using Effects::Effect;
using Effects::EffectsManager;
using Platform::Key;
using TestSupport::LogCapture;
using TestSupport::LogLine;
using TestSupport::PixelNear;
using TestSupport::ShowFolder;

// ---------------------------------------------------------------------------------------------------
// Fixture and probe effect

// "Probe" remembers the local time of its last Render and carries a serial number, so that a test can
// tell a rebuilt effect from the one before even where the allocator hands out the same address.
int g_probeSerial = 0;

class Probe : public Effect {
public:
    Probe() : m_serial(++g_probeSerial) {}
    void Render(double localTime, RenderTexturePair*) override { m_lastLocalTime = localTime; }
    int Serial() const { return m_serial; }
    double LastLocalTime() const { return m_lastLocalTime; }

private:
    int m_serial;
    double m_lastLocalTime = -1.0;
};

constexpr char kMusic[] = "music.wav";
constexpr double kMusicSeconds = 30.0;

class EffectsManagerTest : public TestSupport::ShowTest {
protected:
    void SetUp() override {
        ShowTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        Audio_UseSilentOutput(true);
        g_quit = false;
        Data().Write("final.fx", ShowFolder::FinalShader());
        WriteMusic(kMusic, kMusicSeconds);
    }
    void TearDown() override {
        manager.reset();
        Platform::SetKeyStateOverride(std::nullopt);
        Audio_UseSilentOutput(false);
        g_quit = false;
        ShowTest::TearDown();
    }

    /// Writes a music file. The music's change watch is process-wide and keyed by name, so an earlier
    /// test's file of the same name would count as an edit, which resumes paused music: the watch
    /// learns this file first.
    void WriteMusic(const std::string& name, double seconds) {
        // A low rate keeps the file small; the clock does not care.
        Data().Write(name, ShowFolder::Wave(seconds, 8000));
        HasFileChanged(name);
    }
    /// Writes "demo.xml" with a "demo" element of these attributes and this body.
    void WriteScript(const std::string& attributes, const std::string& body = "") {
        WriteRaw(ShowFolder::Script(attributes, body));
    }
    /// Writes "demo.xml" as given; a rewrite moves its modification time on so that the watcher sees
    /// it even within the file system's time granularity.
    void WriteRaw(const std::string& text) {
        const auto path = Data().Path() / "demo.xml";
        const bool existed = std::filesystem::exists(path);
        const auto before =
            existed ? std::filesystem::last_write_time(path) : std::filesystem::file_time_type{};
        Data().Write("demo.xml", text);
        if (existed) std::filesystem::last_write_time(path, before + std::chrono::seconds(2));
    }
    void Start(bool transport = true, const std::string& script = "demo.xml") {
        manager = std::make_unique<EffectsManager>(transport, script);
    }

    static uint32_t Position() {
        uint32_t milliseconds = 0;
        Audio_GetChannel().GetPosition(milliseconds);
        return milliseconds;
    }
    static bool Paused() {
        bool paused = false;
        Audio_GetChannel().GetPaused(paused);
        return paused;
    }
    /// Stops the music at `milliseconds`, so that only the transport moves it.
    static void HoldAt(uint32_t milliseconds) {
        ASSERT_EQ(Audio_GetChannel().SetPaused(true), Platform::SoundResult::Ok);
        ASSERT_EQ(Audio_GetChannel().SetPosition(milliseconds), Platform::SoundResult::Ok);
    }
    /// One frame with exactly these keys down.
    void Frame(std::set<Key> keys) {
        Platform::SetKeyStateOverride(std::move(keys));
        manager->RunFrame();
    }
    const Probe& ProbeAt(size_t index) const {
        return static_cast<const Probe&>(*manager->GetEffects().at(index));
    }
    std::vector<int> Serials() const {
        std::vector<int> serials;
        for (const auto& effect : manager->GetEffects())
            serials.push_back(static_cast<const Probe&>(*effect).Serial());
        return serials;
    }

    Effects::ScopedEffectType probeType{"Probe", [] { return std::unique_ptr<Effect>(new Probe); }};
    std::unique_ptr<EffectsManager> manager;
};

bool Logged(const std::vector<LogLine>& lines, const std::string& text) {
    return std::find(lines.begin(), lines.end(), LogLine{"Effects::EffectsManager::Load", text}) !=
           lines.end();
}

bool LoggedStarting(const std::vector<LogLine>& lines, const std::string& prefix) {
    return std::any_of(lines.begin(), lines.end(), [&](const LogLine& line) {
        return line.function == "Effects::EffectsManager::Load" && line.text.rfind(prefix, 0) == 0;
    });
}

// ---------------------------------------------------------------------------------------------------
// Show clock

TEST_F(EffectsManagerTest, ShowTimeScalesTheMusicByTheTempoAndAddsTheOffset) {
    WriteScript("audioFilename='music.wav' bpm='120' timeOffset='4'", "<effect type='Probe'/>");
    Start();
    EXPECT_EQ(manager->GetBpm(), 120.0);
    EXPECT_EQ(manager->GetTimeOffset(), 4.0);
    manager->RunFrame(2.0);
    EXPECT_DOUBLE_EQ(manager->GetShowTime(), 8.0);
    EXPECT_DOUBLE_EQ(ProbeAt(0).LastLocalTime(), 8.0);

    // Playback follows the music's own clock.
    HoldAt(2000);
    manager->RunFrame();
    EXPECT_DOUBLE_EQ(manager->GetShowTime(), 8.0);
    EXPECT_DOUBLE_EQ(ProbeAt(0).LastLocalTime(), 8.0);
}

TEST_F(EffectsManagerTest, PlayingMusicDrivesTheShowTime) {
    WriteScript("audioFilename='music.wav' bpm='120' timeOffset='4'");
    Start();
    ASSERT_FALSE(Paused());
    ASSERT_EQ(Audio_GetChannel().SetPosition(3000), Platform::SoundResult::Ok);
    manager->RunFrame();
    const double after = Position() / 1000.0;
    // Read before and after the frame: the show time lies between the two, scaled.
    EXPECT_GE(manager->GetShowTime(), 3.0 * 2 + 4 - 1e-3);
    EXPECT_LE(manager->GetShowTime(), after * 2 + 4 + 1e-3);
}

TEST_F(EffectsManagerTest, WithoutTempoShowTimeIsSecondsPlusOffset) {
    WriteScript("audioFilename='music.wav' timeOffset='1.5'");
    Start();
    EXPECT_EQ(manager->GetBpm(), 60.0);
    manager->RunFrame(3.0);
    EXPECT_DOUBLE_EQ(manager->GetShowTime(), 4.5);
    HoldAt(2500);
    manager->RunFrame();
    EXPECT_DOUBLE_EQ(manager->GetShowTime(), 4.0);
}

TEST_F(EffectsManagerTest, WithoutMusicTheShowStandsAtTheOffsetAndNeverEnds) {
    WriteScript("timeOffset='7' bpm='90'", "<effect type='Probe'/>");
    Start();
    ASSERT_EQ(manager->GetEffects().size(), 1u);
    for (int i = 0; i < 5; ++i) {
        manager->RunFrame();
        EXPECT_DOUBLE_EQ(manager->GetShowTime(), 7.0);
    }
    EXPECT_DOUBLE_EQ(ProbeAt(0).LastLocalTime(), 7.0);
    EXPECT_FALSE(g_quit);
}

// ---------------------------------------------------------------------------------------------------
// Transport keys

TEST_F(EffectsManagerTest, TransportStepsAreABeatAndShiftOrControlScaleThem) {
    WriteScript("audioFilename='music.wav' bpm='120'");
    Start();
    HoldAt(10000);
    Frame({Key::Right});
    EXPECT_NEAR(Position(), 12000, 5);
    Frame({});
    Frame({Key::Right, Key::Shift});
    EXPECT_NEAR(Position(), 20000, 5);
    Frame({});
    Frame({Key::Right, Key::Control});
    EXPECT_NEAR(Position(), 20500, 5);
    Frame({});
    // Shift wins over Control.
    Frame({Key::Left, Key::Shift, Key::Control});
    EXPECT_NEAR(Position(), 12500, 5);
    Frame({});
    Frame({Key::Left});
    EXPECT_NEAR(Position(), 10500, 5);
    EXPECT_TRUE(Paused());
}

TEST_F(EffectsManagerTest, TransportStepFollowsTheTempo) {
    WriteScript("audioFilename='music.wav' bpm='30'");
    Start();
    HoldAt(10000);
    Frame({Key::Right});
    EXPECT_NEAR(Position(), 10500, 5);
}

TEST_F(EffectsManagerTest, AHeldKeyActsOnceUntilAllKeysAreReleased) {
    WriteScript("audioFilename='music.wav' bpm='120'");
    Start();
    HoldAt(4000);
    for (int i = 0; i < 4; ++i) Frame({Key::Right});
    EXPECT_NEAR(Position(), 6000, 5);
    // Another transport key while the first is still held does nothing either.
    Frame({Key::Right, Key::Left});
    EXPECT_NEAR(Position(), 6000, 5);
    // Shift alone is no transport key: it does not clear the latch...
    Frame({Key::Shift});
    EXPECT_NEAR(Position(), 6000, 5);
    // ...but it does not hold it either.
    Frame({Key::Right});
    EXPECT_NEAR(Position(), 8000, 5);
    Frame({});
    Frame({Key::Right});
    EXPECT_NEAR(Position(), 10000, 5);
}

TEST_F(EffectsManagerTest, SpaceTogglesPauseAndTakesPrecedenceOverLeft) {
    WriteScript("audioFilename='music.wav'");
    Start();
    ASSERT_FALSE(Paused());
    ASSERT_EQ(Audio_GetChannel().SetPosition(9000), Platform::SoundResult::Ok);
    Frame({Key::Space, Key::Left});
    EXPECT_TRUE(Paused());
    const uint32_t pausedAt = Position();
    EXPECT_GE(pausedAt, 9000u);  // not moved back a beat
    Frame({Key::Space, Key::Left});
    EXPECT_TRUE(Paused());  // held: no second toggle
    EXPECT_EQ(Position(), pausedAt);
    Frame({});
    Frame({Key::Space});
    EXPECT_FALSE(Paused());
}

TEST_F(EffectsManagerTest, UpRestartsTheMusicAtItsStart) {
    WriteScript("audioFilename='music.wav'");
    Start();
    HoldAt(15000);
    Frame({Key::Up});
    EXPECT_EQ(Position(), 0u);
    EXPECT_TRUE(Paused());
}

TEST_F(EffectsManagerTest, TransportKeysNeedFocus) {
    WriteScript("audioFilename='music.wav'");
    Start();
    HoldAt(10000);
    g_graphics.hasFocus = false;
    Frame({Key::Right});
    Frame({});
    Frame({Key::Space});
    EXPECT_EQ(Position(), 10000u);
    EXPECT_TRUE(Paused());
    g_graphics.hasFocus = true;
    Frame({});
    Frame({Key::Right});
    EXPECT_EQ(Position(), 11000u);
}

TEST_F(EffectsManagerTest, TransportKeysNeedTransportMode) {
    WriteScript("audioFilename='music.wav'");
    Start(false);
    HoldAt(10000);
    Frame({Key::Right});
    Frame({});
    Frame({Key::Up});
    Frame({});
    Frame({Key::Space});
    EXPECT_EQ(Position(), 10000u);
    EXPECT_TRUE(Paused());
}

// ---------------------------------------------------------------------------------------------------
// Reload

TEST_F(EffectsManagerTest, SavingTheScriptRebuildsTheEffectsWhileTheMusicPlaysOn) {
    WriteScript("audioFilename='music.wav'", "<effect type='Probe'/><effect type='Probe'/>");
    Start();
    manager->RunFrame();
    const std::vector<int> before = Serials();
    ASSERT_EQ(before.size(), 2u);

    WriteScript("audioFilename='music.wav' timeOffset='100'",
                "<effect type='Probe'/><effect type='Probe'/><effect type='Probe' start='1000'/>");
    LogCapture log;
    ASSERT_EQ(Audio_GetChannel().SetPosition(5000), Platform::SoundResult::Ok);
    manager->RunFrame();
    const uint32_t after = Position();
    EXPECT_TRUE(Logged(log.Lines(), "XML [demo.xml] parsed without errors"));

    const std::vector<int> rebuilt = Serials();
    ASSERT_EQ(rebuilt.size(), 3u);
    EXPECT_GT(rebuilt[0], before[1]);
    // The new script counts in this same frame.
    EXPECT_GE(manager->GetShowTime(), 105.0);
    EXPECT_GE(ProbeAt(0).LastLocalTime(), 105.0);
    EXPECT_FALSE(Paused());
    EXPECT_GE(after, 5000u) << "the music was not restarted by the reload";

    // Unchanged: nothing rebuilt.
    manager->RunFrame();
    EXPECT_EQ(Serials(), rebuilt);

    // Held still, the music shows that a reload leaves its position exactly where it was.
    HoldAt(7000);
    WriteScript("audioFilename='music.wav' timeOffset='200'", "<effect type='Probe'/>");
    manager->RunFrame();
    EXPECT_EQ(Serials().size(), 1u);
    EXPECT_TRUE(Paused());
    EXPECT_EQ(Position(), 7000u);
    EXPECT_DOUBLE_EQ(manager->GetShowTime(), 7.0 + 200.0);
}

TEST_F(EffectsManagerTest, NewMusicStartsFromItsBeginning) {
    WriteMusic("other.wav", 12.0);
    WriteScript("audioFilename='music.wav'");
    Start();
    ASSERT_EQ(Audio_GetChannel().SetPosition(8000), Platform::SoundResult::Ok);
    WriteScript("audioFilename='other.wav'");
    manager->RunFrame();
    EXPECT_EQ(Audio_GetFileName(), "other.wav");
    EXPECT_NEAR(Audio_GetLength(), 12.0, 0.01);
    EXPECT_FALSE(Paused());
    // Not on from the old music's 8 s: from its start, the new music could reach 8 s only if this
    // thread stood still for all of them.
    EXPECT_LT(Position(), 8000u);
    EXPECT_LT(manager->GetShowTime(), 8.0);
}

TEST_F(EffectsManagerTest, NewMusicOfAPausedShowStaysPausedAtItsStart) {
    WriteMusic("other.wav", 12.0);
    WriteScript("audioFilename='music.wav'");
    Start();
    HoldAt(8000);
    WriteScript("audioFilename='other.wav'");
    manager->RunFrame();
    EXPECT_EQ(Audio_GetFileName(), "other.wav");
    EXPECT_TRUE(Paused());
    EXPECT_EQ(Position(), 0u);
    manager->RunFrame();
    EXPECT_EQ(Position(), 0u);
    EXPECT_EQ(manager->GetShowTime(), 0.0);
}

TEST_F(EffectsManagerTest, VolumeOfTheScriptReachesTheMusic) {
    WriteScript("audioFilename='music.wav' volume='0.25'");
    Start();
    float volume = 0.0f;
    Audio_GetChannel().GetVolume(volume);
    EXPECT_FLOAT_EQ(volume, 0.25f);
    WriteScript("audioFilename='music.wav' volume='0.5'");
    manager->RunFrame();
    Audio_GetChannel().GetVolume(volume);
    EXPECT_FLOAT_EQ(volume, 0.5f);
    EXPECT_DOUBLE_EQ(Audio_GetVolume(), 0.5);
}

// ---------------------------------------------------------------------------------------------------
// Failures

TEST_F(EffectsManagerTest, MalformedScriptLeavesNoEffectsUntilFixed) {
    WriteScript("audioFilename='music.wav'", "<effect type='Probe'/>");
    Start();
    ASSERT_EQ(manager->GetEffects().size(), 1u);

    WriteRaw("<demo audioFilename='music.wav'><effect type='Probe'>");
    {
        LogCapture log;
        manager->RunFrame();
        const auto& lines = log.Lines();
        EXPECT_TRUE(Logged(lines, "XML [demo.xml] parsed with errors"));
        EXPECT_TRUE(LoggedStarting(lines, "Error description: "));
        EXPECT_FALSE(Logged(lines, "Error description: Unknown error"));
        EXPECT_TRUE(LoggedStarting(lines, "Error offset: "));
    }
    EXPECT_TRUE(manager->GetEffects().empty());
    manager->RunFrame();
    EXPECT_TRUE(manager->GetEffects().empty());

    WriteScript("audioFilename='music.wav'", "<effect type='Probe'/><effect type='Probe'/>");
    manager->RunFrame();
    EXPECT_EQ(manager->GetEffects().size(), 2u);
}

TEST_F(EffectsManagerTest, MissingScriptIsLoggedAndTheShowRunsEmpty) {
    LogCapture log;
    Start(true, "nowhere.xml");
    EXPECT_TRUE(Logged(log.Lines(), "Failed to find effects manager script 'nowhere.xml'"));
    EXPECT_TRUE(manager->GetEffects().empty());
    EXPECT_FALSE(manager->Load());
    manager->RunFrame();
    EXPECT_EQ(manager->GetShowTime(), 0.0);

    // Its arrival is a change like any other.
    Data().Write("nowhere.xml", ShowFolder::Script("timeOffset='3'", "<effect type='Probe'/>"));
    manager->RunFrame();
    EXPECT_EQ(manager->GetEffects().size(), 1u);
    EXPECT_DOUBLE_EQ(manager->GetShowTime(), 3.0);
}

TEST_F(EffectsManagerTest, ScriptInflatingPastTheReadBoundIsRefusedUnreadAndTheShowRunsEmpty) {
    // An archive whose script claims 600 MiB: refused on its length, so nothing is inflated.
    Data().Write("bomb.dat", TestSupport::Zip({TestSupport::ZeroBomb("bomb.xml", 600)}));
    ASSERT_NE(PHYSFS_mount((Data().Path() / "bomb.dat").c_str(), nullptr, 1), 0);
    LogCapture log;
    Start(true, "bomb.xml");
    EXPECT_TRUE(
        Logged(log.Lines(), "File 'bomb.xml' is 629145600 bytes, more than the 512 MiB one read may take"));
    EXPECT_FALSE(LoggedStarting(log.Lines(), "XML [")) << "nothing was parsed";
    EXPECT_TRUE(manager->GetEffects().empty());
    manager->RunFrame();
    EXPECT_FALSE(g_quit);
    EXPECT_EQ(manager->GetShowTime(), 0.0);
    PHYSFS_unmount((Data().Path() / "bomb.dat").c_str());
}

TEST_F(EffectsManagerTest, MissingMusicIsLoggedAndBuildsNoEffects) {
    WriteScript("audioFilename='gone.wav'", "<effect type='Probe'/>");
    LogCapture log;
    Start();
    EXPECT_TRUE(Logged(log.Lines(), "Failed to load audio file 'gone.wav'"));
    EXPECT_TRUE(manager->GetEffects().empty());
    manager->RunFrame();
    EXPECT_FALSE(g_quit);

    WriteMusic("gone.wav", 5.0);
    WriteScript("audioFilename='gone.wav' bpm='61'", "<effect type='Probe'/>");
    manager->RunFrame();
    EXPECT_EQ(manager->GetEffects().size(), 1u);
}

TEST_F(EffectsManagerTest, EffectsBeforeAFailingOneAreKept) {
    WriteScript("audioFilename='music.wav'",
                "<effect type='Probe'/><effect type='Nonesuch'/><effect type='Probe'/>");
    Start();
    EXPECT_EQ(manager->GetEffects().size(), 1u);
}

TEST_F(EffectsManagerTest, ScriptWithoutDemoElementLoadsDefaults) {
    WriteRaw("<show bpm='120'><effect type='Probe'/></show>");
    Start();
    EXPECT_EQ(manager->GetBpm(), 60.0);
    EXPECT_EQ(manager->GetVolume(), 1.0);
    EXPECT_TRUE(manager->GetEffects().empty());
}

// ---------------------------------------------------------------------------------------------------
// Final pass

TEST_F(EffectsManagerTest, FinalPassShowsTheEffectsPictureOnTheBackBuffer) {
    WriteScript("audioFilename='music.wav'",
                "<effect type='CLS'><param key='colour' type='vec4' x='0' y='1' z='0' w='1'/></effect>");
    Start();
    manager->RunFrame(0.0);
    const auto frame = ReadBackBuffer();
    ASSERT_EQ(frame.width, 800u);
    EXPECT_TRUE(PixelNear(frame, 0, 0, {0, 255, 0, 255}));
    EXPECT_TRUE(PixelNear(frame, 400, 300, {0, 255, 0, 255}));
    EXPECT_TRUE(PixelNear(frame, 799, 599, {0, 255, 0, 255}));
}

TEST_F(EffectsManagerTest, BrokenFinalShaderPaintsTheScreenRed) {
    Data().Write("final.fx", "float4 PS() : SV_Target { return oops; }");
    WriteScript("audioFilename='music.wav'",
                "<effect type='CLS'><param key='colour' type='vec4' x='0' y='1' z='0' w='1'/></effect>");
    Start();
    manager->RunFrame(0.0);
    const auto frame = ReadBackBuffer();
    EXPECT_TRUE(PixelNear(frame, 0, 0, {255, 0, 0, 255}, 0));
    EXPECT_TRUE(PixelNear(frame, 400, 300, {255, 0, 0, 255}, 0));
}

TEST_F(EffectsManagerTest, WideWindowShowsAFourByThreePictureCentredAndLeavesTheSides) {
    WriteScript("audioFilename='music.wav'",
                "<effect type='CLS'><param key='colour' type='vec4' x='0' y='1' z='0' w='1'/></effect>");
    Start();

    // As the window procedure does on a resize, put back at the end for the other tests.
    SharedGraphics& g = g_graphics;
    auto resize = [&g](int width, int height) {
        g.windowWidth = width;
        g.windowHeight = height;
        g.context->OMSetRenderTargets(0, nullptr, nullptr);
        g.backBufferView.reset();
        g.swapChain->ResizeBuffers(0, width, height, Gpu::Format::UNKNOWN, 0);
        g.backBufferView = g.device->CreateRenderTargetView(g.swapChain->GetBuffer(0));
    };
    struct Restore {
        std::function<void(int, int)> resize;
        ~Restore() { resize(kShowWidth, kShowHeight); }
    } restore{resize};
    resize(1200, 600);
    ASSERT_TRUE(g.backBufferView);
    const float blue[4] = {0, 0, 1, 1};
    g.context->ClearRenderTargetView(g.backBufferView, blue);

    manager->RunFrame(0.0);
    const auto frame = ReadBackBuffer();
    ASSERT_EQ(frame.width, 1200u);
    ASSERT_EQ(frame.height, 600u);
    // The picture spans x 200 to 1000; beside it the back buffer keeps what it held.
    EXPECT_TRUE(PixelNear(frame, 0, 300, {0, 0, 255, 255}, 0));
    EXPECT_TRUE(PixelNear(frame, 198, 300, {0, 0, 255, 255}, 0));
    EXPECT_TRUE(PixelNear(frame, 202, 0, {0, 255, 0, 255}));
    EXPECT_TRUE(PixelNear(frame, 600, 300, {0, 255, 0, 255}));
    EXPECT_TRUE(PixelNear(frame, 997, 599, {0, 255, 0, 255}));
    EXPECT_TRUE(PixelNear(frame, 1001, 300, {0, 0, 255, 255}, 0));
    EXPECT_TRUE(PixelNear(frame, 1199, 599, {0, 0, 255, 255}, 0));
}

}  // namespace
