// The GPU layer in a window: Present puts the back buffer on screen the right way up (a window's
// framebuffer has its first row at the bottom) and scaled to the window, and resizing follows the
// window. Runs on SDL's off-screen video driver, which gives a GL window without any display.
#include <SDL.h>
#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <vector>

#include "platform/gpu/gpu.h"
#include "support/gpuFixture.h"

namespace {

using TestSupport::Image;
using TestSupport::PixelNear;
using TestSupport::Rgba;

class GpuWindow : public ::testing::Test {
protected:
    void SetUp() override {
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            SDL_ResetHint(SDL_HINT_VIDEODRIVER);
            GTEST_SKIP() << "No SDL video: " << SDL_GetError();
        }
        m_started = true;
        m_window = SDL_CreateWindow("GPU test", 0, 0, 64, 48, SDL_WINDOW_OPENGL);
        ASSERT_NE(m_window, nullptr) << SDL_GetError();
    }

    void TearDown() override {
        if (m_window) SDL_DestroyWindow(m_window);
        if (m_started) SDL_QuitSubSystem(SDL_INIT_VIDEO);
        SDL_ResetHint(SDL_HINT_VIDEODRIVER);
    }

    // What the window shows, rows top-down (its framebuffer is read bottom-up). The window's context
    // is current after Present.
    static Image ReadWindow(int width, int height) {
        Image image{uint32_t(width), uint32_t(height), std::vector<uint8_t>(size_t(width) * height * 4)};
        std::vector<uint8_t> bottomUp(image.rgba.size());
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
        for (int y = 0; y < height; ++y) {
            std::copy_n(bottomUp.data() + size_t(height - 1 - y) * width * 4, size_t(width) * 4,
                        image.rgba.data() + size_t(y) * width * 4);
        }
        return image;
    }

    // Fills the back buffer: `top` above row `split`, `bottom` from it on; left and right halves alike
    // unless `right` is given.
    static void Fill(Gpu::DeviceSet& set, uint32_t split, uint32_t top, uint32_t bottom, uint32_t right = 0) {
        auto buffer = set.swapChain->GetBuffer(0);
        const uint32_t width = buffer->Width(), height = buffer->Height();
        std::vector<uint32_t> pixels(size_t(width) * height);
        for (uint32_t y = 0; y < height; ++y) {
            for (uint32_t x = 0; x < width; ++x) {
                uint32_t colour = y < split ? top : bottom;
                if (right && x >= width / 2) colour = right;
                pixels[size_t(y) * width + x] = colour;
            }
        }
        set.context->UpdateSubresource(buffer, 0, nullptr, pixels.data(), width * 4, 0);
    }

    SDL_Window* m_window = nullptr;
    bool m_started = false;
};

TEST_F(GpuWindow, PresentShowsTheTopRowOfTheBackBufferAtTheTopOfTheWindow) {
    auto set = Gpu::CreateWindowDevice(m_window, 64, 48);
    ASSERT_TRUE(set);
    EXPECT_FALSE(set.device->GetAdapterName().empty());
    Fill(set, 12, Rgba(255, 0, 0), Rgba(0, 0, 255));
    EXPECT_TRUE(set.swapChain->Present(0, 0));
    const Image shown = ReadWindow(64, 48);
    EXPECT_TRUE(PixelNear(shown, 10, 0, {255, 0, 0, 255}));
    EXPECT_TRUE(PixelNear(shown, 10, 11, {255, 0, 0, 255}));
    EXPECT_TRUE(PixelNear(shown, 10, 12, {0, 0, 255, 255}));
    EXPECT_TRUE(PixelNear(shown, 10, 47, {0, 0, 255, 255}));
    EXPECT_EQ(set.device->GetCounters().glErrors, 0u);
}

TEST_F(GpuWindow, PresentStretchesABackBufferOfAnotherSizeOverTheWholeWindow) {
    auto set = Gpu::CreateWindowDevice(m_window, 64, 48);
    ASSERT_TRUE(set);
    ASSERT_TRUE(set.swapChain->ResizeBuffers(0, 16, 12, Gpu::Format::UNKNOWN, 0));
    EXPECT_EQ(set.swapChain->Width(), 16u);
    Fill(set, 6, Rgba(0, 255, 0), Rgba(255, 255, 0), Rgba(255, 0, 255));
    EXPECT_TRUE(set.swapChain->Present(0, 0));
    const Image shown = ReadWindow(64, 48);
    EXPECT_TRUE(PixelNear(shown, 2, 2, {0, 255, 0, 255}));
    EXPECT_TRUE(PixelNear(shown, 2, 45, {255, 255, 0, 255}));
    EXPECT_TRUE(PixelNear(shown, 61, 2, {255, 0, 255, 255}));
    EXPECT_TRUE(PixelNear(shown, 61, 45, {255, 0, 255, 255}));
    EXPECT_EQ(set.device->GetCounters().glErrors, 0u);
}

TEST_F(GpuWindow, ResizeWithoutASizeTakesTheWindowsSize) {
    auto set = Gpu::CreateWindowDevice(m_window, 64, 48);
    ASSERT_TRUE(set);
    SDL_SetWindowSize(m_window, 80, 60);
    int width = 0, height = 0;
    SDL_GL_GetDrawableSize(m_window, &width, &height);
    ASSERT_TRUE(set.swapChain->ResizeBuffers(0, 0, 0, Gpu::Format::UNKNOWN, 0));
    EXPECT_EQ(set.swapChain->Width(), uint32_t(width));
    EXPECT_EQ(set.swapChain->Height(), uint32_t(height));
    // Full-screen switching reports its state as the window accepted it.
    const bool switched = set.swapChain->SetFullscreenState(true);
    EXPECT_EQ(set.swapChain->GetFullscreenState(), switched);
    EXPECT_TRUE(set.swapChain->SetFullscreenState(false));
    EXPECT_FALSE(set.swapChain->GetFullscreenState());
}

TEST_F(GpuWindow, WindowDeviceAndTheSharedHeadlessDeviceTakeTurns) {
    const Gpu::DeviceSet& headless = TestSupport::SharedGpu();
    if (!headless) GTEST_SKIP() << "No headless device";
    auto set = Gpu::CreateWindowDevice(m_window, 64, 48);
    ASSERT_TRUE(set);
    auto texture = headless.device->CreateTexture2D(
        {.Width = 2, .Height = 2, .BindFlags = Gpu::BIND_RENDER_TARGET | Gpu::BIND_SHADER_RESOURCE});
    auto view = headless.device->CreateRenderTargetView(texture);
    const float green[4] = {0, 1, 0, 1};
    Fill(set, 48, Rgba(255, 0, 0), Rgba(255, 0, 0));
    headless.context->ClearRenderTargetView(view, green);
    EXPECT_TRUE(set.swapChain->Present(0, 0));
    EXPECT_TRUE(PixelNear(ReadWindow(64, 48), 5, 5, {255, 0, 0, 255}));
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(headless.context->ReadTexture(texture, 0, bytes));
    EXPECT_EQ(bytes[1], 255);
    EXPECT_EQ(bytes[0], 0);
}

}  // namespace
