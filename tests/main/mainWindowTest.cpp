// The main window and the device made in it on a virtual display with a window manager: switching
// to full-screen and back resizes the back buffer with the window, while the depth buffer, which the
// show draws into at its own size, stays 800 by 600.
#include "main/mainWindow.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "main/device.h"
#include "support/process.h"

namespace {

using namespace std::chrono_literals;

// Pumps the window's messages until the window procedure has seen this client size.
bool PumpUntilSize(int width, int height) {
    return TestSupport::WaitUntil(
        [&] {
            g_mainWindow->PumpMessages();
            return g_graphics.windowWidth == width && g_graphics.windowHeight == height;
        },
        60s);
}

std::string SizeOf(const Gpu::Texture2DPtr& texture) {
    return texture ? std::to_string(texture->Width()) + "x" + std::to_string(texture->Height()) : "none";
}

// Goes full-screen on a 1280 by 1024 screen and back; what was found wrong, "" when nothing.
std::string SwitchFullScreenAndBack() {
    TestSupport::VirtualDisplay display(1280, 1024, true);
    if (!display.Ready()) return "Xvfb could not be started";
    setenv("DISPLAY", display.Environment().substr(8).c_str(), 1);
    if (!CreateMainWindow() || !InitialiseD3D()) return "no window or no device";
    SharedGraphics& g = g_graphics;
    std::string problems;
    auto expect = [&](const std::string& what, const std::string& found, const std::string& wanted) {
        if (found != wanted) problems += what + " is " + found + ", not " + wanted + "\n";
    };

    if (!g.swapChain->SetFullscreenState(true) || !PumpUntilSize(1280, 1024)) return "full-screen never came";
    expect("the full-screen back buffer", SizeOf(g.swapChain->GetBuffer(0)), "1280x1024");
    expect("its view", g.backBufferView ? "made" : "missing", "made");
    expect("the full-screen depth buffer", SizeOf(g.depthTexture), "800x600");

    if (!g.swapChain->SetFullscreenState(false) || !PumpUntilSize(800, 600))
        return "full-screen was not left";
    expect("full-screen state", g.swapChain->GetFullscreenState() ? "on" : "off", "off");
    expect("the windowed back buffer", SizeOf(g.swapChain->GetBuffer(0)), "800x600");
    expect("the windowed depth buffer", SizeOf(g.depthTexture), "800x600");
    ShutdownD3D();
    g_mainWindow.reset();
    return problems;
}

TEST(MainWindowFullScreen, BackBufferFollowsTheScreenAndTheDepthBufferKeepsTheShowsSize) {
    if (TestSupport::RunCommand({"sh", "-c", "command -v Xvfb openbox"}) != 0)
        GTEST_SKIP() << "Xvfb and openbox are needed";
    // A device in a window cannot share a process with the test binary's headless device (the X
    // server refuses the second kind of context), so this runs in a fresh process of its own.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const std::string problems = SwitchFullScreenAndBack();
            std::fputs(problems.c_str(), stderr);
            std::fflush(stderr);
            std::_Exit(problems.empty() ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

}  // namespace
