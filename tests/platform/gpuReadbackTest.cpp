// The swap chain's read-backs that do not wait: the same pixels as the waiting read-back, frame by
// frame in the order they were started, the last one included, and each slot's pixels left alone
// while the other slots are started.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/gpu/gpu.h"
#include "support/gpuFixture.h"

namespace {

constexpr uint32_t kWidth = 64;
constexpr uint32_t kHeight = 48;
constexpr uint32_t kSlots = Gpu::SwapChain::kReadBackSlots;

class GpuReadback : public TestSupport::GpuTest {
protected:
    void SetUp() override {
        GpuTest::SetUp();
        if (IsSkipped()) return;
        set = Gpu::CreateHeadlessDevice(kWidth, kHeight);
        ASSERT_TRUE(set);
    }
    void TearDown() override {
        if (set) {
            EXPECT_EQ(set.device->GetCounters().glErrors, 0u);
        }
        set = {};
        GpuTest::TearDown();
    }

    // Frame `k`: every pixel different, rows and frames told apart, so that a flipped, shifted or
    // stale picture cannot pass.
    void DrawFrame(uint32_t k) {
        std::vector<uint32_t> pixels(size_t(kWidth) * kHeight);
        for (uint32_t y = 0; y < kHeight; ++y)
            for (uint32_t x = 0; x < kWidth; ++x)
                pixels[y * kWidth + x] = TestSupport::Rgba((x * 4 + k * 37) & 255, (y * 5 + k * 11) & 255,
                                                           (x ^ y ^ (k * 29)) & 255, 255 - k);
        set.context->UpdateSubresource(set.swapChain->GetBuffer(0), 0, nullptr, pixels.data(), kWidth * 4, 0);
        set.swapChain->Present(0, 0);
    }
    std::vector<uint8_t> ReadWaiting() {
        std::vector<uint8_t> rgba;
        uint32_t width = 0, height = 0;
        EXPECT_TRUE(set.swapChain->ReadBackBuffer(rgba, width, height));
        return rgba;
    }
    static bool Same(const uint8_t* pixels, const std::vector<uint8_t>& expected) {
        return pixels && std::memcmp(pixels, expected.data(), expected.size()) == 0;
    }

    Gpu::DeviceSet set;
};

TEST_F(GpuReadback, FramesComeBackAsTheWaitingReadBackGivesThemInOrderTheLastIncluded) {
    // As a capture uses the slots: frame k is started when drawn and taken after frame k + 1 is drawn;
    // more frames than slots, so the ring wraps round twice.
    constexpr uint32_t kFrames = 3 * kSlots - 1;
    std::vector<std::vector<uint8_t>> expected;
    const uint8_t* earlier = nullptr;  // frame k - 2, which a writer might still be reading
    for (uint32_t k = 0; k < kFrames; ++k) {
        DrawFrame(k);
        expected.push_back(ReadWaiting());
        ASSERT_TRUE(set.swapChain->StartReadBack(k % kSlots));
        if (earlier) {
            EXPECT_TRUE(Same(earlier, expected[k - 2])) << "frame " << k - 2 << " was overwritten";
        }
        earlier = nullptr;
        if (k == 0) continue;
        uint32_t width = 0, height = 0;
        const uint8_t* pixels = set.swapChain->FinishReadBack((k - 1) % kSlots, width, height);
        ASSERT_TRUE(pixels) << "frame " << k - 1;
        EXPECT_EQ(width, kWidth);
        EXPECT_EQ(height, kHeight);
        EXPECT_TRUE(Same(pixels, expected[k - 1])) << "frame " << k - 1;
        earlier = pixels;
    }
    uint32_t width = 0, height = 0;
    const uint8_t* last = set.swapChain->FinishReadBack((kFrames - 1) % kSlots, width, height);
    EXPECT_TRUE(Same(last, expected.back())) << "the last frame";
    // Each start is taken once.
    EXPECT_EQ(set.swapChain->FinishReadBack((kFrames - 1) % kSlots, width, height), nullptr);
}

TEST_F(GpuReadback, NothingStartedGivesNothingAndANewSizeGetsItsOwnBuffer) {
    uint32_t width = 0, height = 0;
    for (uint32_t slot = 0; slot < kSlots; ++slot)
        EXPECT_EQ(set.swapChain->FinishReadBack(slot, width, height), nullptr) << slot;

    DrawFrame(1);
    ASSERT_TRUE(set.swapChain->StartReadBack(0));
    ASSERT_TRUE(set.swapChain->ResizeBuffers(0, 20, 10, Gpu::Format::UNKNOWN, 0));
    const float green[4] = {0, 1, 0, 1};
    set.context->ClearRenderTargetView(set.device->CreateRenderTargetView(set.swapChain->GetBuffer(0)),
                                       green);
    ASSERT_TRUE(set.swapChain->StartReadBack(1));

    // The copy made before the resize keeps its size; the one after has the new one.
    EXPECT_NE(set.swapChain->FinishReadBack(0, width, height), nullptr);
    EXPECT_EQ(width, kWidth);
    EXPECT_EQ(height, kHeight);
    const uint8_t* pixels = set.swapChain->FinishReadBack(1, width, height);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(width, 20u);
    EXPECT_EQ(height, 10u);
    const std::vector<uint8_t> expected = ReadWaiting();
    ASSERT_EQ(expected.size(), 20u * 10u * 4u);
    EXPECT_TRUE(Same(pixels, expected));
    EXPECT_EQ(pixels[4 * 57 + 1], 255);

    // Slot 1 again at the new size, over its old buffer.
    ASSERT_TRUE(set.swapChain->StartReadBack(1));
    EXPECT_TRUE(Same(set.swapChain->FinishReadBack(1, width, height), expected));
}

}  // namespace
