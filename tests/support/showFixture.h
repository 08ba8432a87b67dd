// Fixture for tests of the graphics layer and the effects: the shared graphics state of the program
// set up on the test binary's one headless device, with the data folder mounted through PhysicsFS.
#pragma once

#include <memory>

#include "main/device.h"
#include "support/gpuFixture.h"
#include "support/tempFolder.h"

namespace TestSupport {

/// Draws through the program's shared objects (g_graphics), headless. Each test gets a fresh data
/// folder (Data()) mounted at the root of the virtual file system and used as write directory.
class ShowTest : public GpuTest {
protected:
    void SetUp() override;
    void TearDown() override;

    /// The test's data folder on the host.
    TempFolder& Data() { return *m_data; }
    /// The 800 by 600 back buffer as it stands.
    Image ReadBackBuffer();

private:
    std::unique_ptr<TempFolder> m_data;
    std::unique_ptr<MountedData> m_mounted;
};

}  // namespace TestSupport
