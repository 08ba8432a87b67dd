#include "support/showFixture.h"

namespace TestSupport {

void ShowTest::SetUp() {
    GpuTest::SetUp();
    if (IsSkipped()) return;
    m_data = std::make_unique<TempFolder>();
    m_mounted = std::make_unique<MountedData>(m_data->Path());
    ASSERT_TRUE(InitialiseSharedObjects(SharedGpu()));
    g_graphics.windowWidth = kShowWidth;
    g_graphics.windowHeight = kShowHeight;
    g_graphics.hasFocus = true;
}

void ShowTest::TearDown() {
    ShutdownD3D();
    m_mounted.reset();
    m_data.reset();
    GpuTest::TearDown();
}

Image ShowTest::ReadBackBuffer() {
    Image image;
    g_graphics.swapChain->ReadBackBuffer(image.rgba, image.width, image.height);
    return image;
}

}  // namespace TestSupport
