#include "platform/window/window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>
#include <vector>

#include "support/process.h"

namespace {

using namespace std::chrono_literals;
using Platform::Key;
using Platform::Message;
using Platform::MessageKind;

// The window talks to the X server named by DISPLAY, so each test points it at a server of its own.
class WindowTest : public testing::Test {
protected:
    void SetUp() override {
        if (!m_display.Ready()) GTEST_SKIP() << "Xvfb could not be started";
        const char* old = std::getenv("DISPLAY");
        m_oldDisplay = old ? old : "";
        setenv("DISPLAY", m_display.Environment().substr(8).c_str(), 1);
    }
    void TearDown() override {
        if (m_oldDisplay.empty())
            unsetenv("DISPLAY");
        else
            setenv("DISPLAY", m_oldDisplay.c_str(), 1);
    }

    std::vector<Message> PumpUntil(Platform::Window& window, MessageKind kind) {
        TestSupport::WaitUntil(
            [&] {
                window.PumpMessages();
                for (const auto& m : m_messages)
                    if (m.kind == kind) return true;
                return false;
            },
            60s);
        return m_messages;
    }

    TestSupport::VirtualDisplay m_display;
    std::string m_oldDisplay;
    std::vector<Message> m_messages;
    Platform::WindowProcedure m_procedure = [this](const Message& m) { m_messages.push_back(m); };
};

TEST_F(WindowTest, AnnouncesItsSizeWhileBeingCreated) {
    Platform::Window window({.title = "Window Test", .clientWidth = 800, .clientHeight = 600}, m_procedure);
    ASSERT_TRUE(window.IsOpen()) << window.Error();
    ASSERT_FALSE(m_messages.empty());
    EXPECT_EQ(m_messages[0].kind, MessageKind::Size);
    EXPECT_EQ(m_messages[0].width, 800);
    EXPECT_EQ(m_messages[0].height, 600);
    int width = 0, height = 0;
    window.GetClientSize(width, height);
    EXPECT_EQ(width, 800);
    EXPECT_EQ(height, 600);
}

TEST_F(WindowTest, DeliversKeysWithRepeatFlagAndKeyState) {
    Platform::Window window({.title = "Window Keys"}, m_procedure);
    ASSERT_TRUE(window.IsOpen()) << window.Error();
    const std::string id = m_display.WaitForWindow("Window Keys", 60s);
    ASSERT_FALSE(id.empty());
    m_display.XDoTool({"windowfocus", "--sync", id});
    m_display.XDoTool({"keydown", "--window", id, "Right"});
    PumpUntil(window, MessageKind::KeyDown);
    EXPECT_TRUE(Platform::IsKeyDown(Key::Right));
    EXPECT_FALSE(Platform::IsKeyDown(Key::Left));
    m_display.XDoTool({"keyup", "--window", id, "Right"});
    m_display.XDoTool({"key", "--window", id, "Escape"});
    TestSupport::WaitUntil(
        [&] {
            window.PumpMessages();
            for (const auto& m : m_messages)
                if (m.kind == MessageKind::KeyDown && m.key == Key::Escape) return true;
            return false;
        },
        60s);
    bool sawRight = false, sawEscape = false;
    for (const auto& m : m_messages) {
        if (m.kind != MessageKind::KeyDown) continue;
        if (m.key == Key::Right) {
            sawRight = true;
            EXPECT_FALSE(m.repeat);
        }
        if (m.key == Key::Escape) sawEscape = true;
    }
    EXPECT_TRUE(sawRight);
    EXPECT_TRUE(sawEscape);
    EXPECT_FALSE(Platform::IsKeyDown(Key::Right));
}

// A tap (press and release between two pumps, as xdotool or a quick finger sends it) leaves the
// keyboard state as it was; the key query still reports it, once.
TEST_F(WindowTest, KeyQueryReportsATapBetweenPumpsExactlyOnce) {
    Platform::Window window({.title = "Window Taps"}, m_procedure);
    ASSERT_TRUE(window.IsOpen()) << window.Error();
    const std::string id = m_display.WaitForWindow("Window Taps", 60s);
    ASSERT_FALSE(id.empty());
    m_display.XDoTool({"windowfocus", "--sync", id});
    for (const char* tap : {"space", "Left", "Right", "Up"}) {
        SCOPED_TRACE(tap);
        m_messages.clear();
        m_display.XDoTool({"key", "--window", id, tap});
        PumpUntil(window, MessageKind::KeyDown);
        // The release comes after the press: once a later request of another client has been answered,
        // the server has sent it to us, so that the key is up again when asked.
        m_display.XDoTool({"getmouselocation"});
        window.PumpMessages();
        Key key = Key::Other;
        for (const auto& m : m_messages)
            if (m.kind == MessageKind::KeyDown) key = m.key;
        ASSERT_NE(key, Key::Other);
        EXPECT_TRUE(Platform::IsKeyDown(key));
        EXPECT_FALSE(Platform::IsKeyDown(key)) << "the same tap reported twice";
        for (const Key other : {Key::Space, Key::Left, Key::Right, Key::Up}) {
            if (other != key) {
                EXPECT_FALSE(Platform::IsKeyDown(other));
            }
        }
    }
}

TEST(WindowClose, CloseRequestArrivesAsCloseMessage) {
    // Closing politely goes through the window manager, as a person's click on the close box does.
    TestSupport::VirtualDisplay display(1280, 1024, true);
    if (!display.Ready()) GTEST_SKIP() << "Xvfb could not be started";
    const std::string saved = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    setenv("DISPLAY", display.Environment().substr(8).c_str(), 1);
    std::vector<Message> messages;
    Platform::Window window({.title = "Window Close"}, [&](const Message& m) { messages.push_back(m); });
    ASSERT_TRUE(window.IsOpen()) << window.Error();
    const std::string id = display.WaitForWindow("Window Close", 60s);
    ASSERT_FALSE(id.empty());
    TestSupport::RunCommand({"wmctrl", "-i", "-c", id}, nullptr, ".", {display.Environment()});
    bool sawClose = false;
    TestSupport::WaitUntil(
        [&] {
            window.PumpMessages();
            for (const auto& m : messages) sawClose |= m.kind == MessageKind::Close;
            return sawClose;
        },
        60s);
    if (saved.empty())
        unsetenv("DISPLAY");
    else
        setenv("DISPLAY", saved.c_str(), 1);
    EXPECT_TRUE(sawClose);
}

TEST(MessageBox, WithoutDisplayFailsAndStillPrintsItsText) {
    const char* old = std::getenv("DISPLAY");
    const std::string saved = old ? old : "";
    unsetenv("DISPLAY");
    testing::internal::CaptureStderr();
    const auto result =
        Platform::ShowMessageBox("NO DATA = NO DEMO", "FAIL", Platform::MessageBoxButtons::Ok);
    const std::string err = testing::internal::GetCapturedStderr();
    if (!saved.empty()) setenv("DISPLAY", saved.c_str(), 1);
    EXPECT_EQ(result, Platform::MessageBoxResult::Failed);
    EXPECT_NE(err.find("FAIL: NO DATA = NO DEMO"), std::string::npos);
}

}  // namespace
