// Start-up of the graphics device and of the pipeline objects every effect shares (SharedGraphics):
// created once by InitialiseD3D and alive for the whole run. The show renders at the render size of
// the shared state (800 by 600 unless a size was asked for) into render textures; only the back
// buffer follows the window's size.
#pragma once

#include "graphics/sharedGraphics.h"

/// Starts the slow part of a headless device's creation (loading the driver) on another core, so that
/// mounting the data and reading the script overlap it; the next headless InitialiseD3D takes it.
void PrepareHeadlessD3D();

/// Creates the device (in the main window when there is one, else headless) with a back buffer of
/// the size given, and every shared pipeline object; false after logging the step that failed.
bool InitialiseD3D(int backBufferWidth = kShowWidth, int backBufferHeight = kShowHeight);

/// The second half of InitialiseD3D: takes a device made elsewhere (tests share one) and creates
/// every shared pipeline object on it.
bool InitialiseSharedObjects(const Gpu::DeviceSet& set);

/// Releases the device and the shared objects (tests, and the end of a run).
void ShutdownD3D();
