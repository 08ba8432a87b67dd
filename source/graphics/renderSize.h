// The show at any size: how many pixels render its logical 800 by 600 canvas, and where the picture
// lands in the back buffer. The numbers live in the shared graphics state; this is what sets and
// reads them, so that no effect computes a size of its own.
#pragma once

#include "platform/gpu/gpu.h"

/// A rectangle of whole pixels in the back buffer.
struct PictureRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

/// The largest 4:3 area of a `width` by `height` back buffer, centred (1920x1080 gives 1440x1080 at
/// x = 240).
PictureRect FitPicture(int width, int height);

/// Makes the render size `supersample` times a picture of `pictureWidth` by `pictureHeight` pixels
/// and, once there is a device, remakes the depth buffer at that size. False after logging when the
/// device cannot make it; the depth buffer is then missing and cubes do not draw.
bool SetRenderSize(int pictureWidth, int pictureHeight, int supersample = 1);

/// The viewport over the whole render size, set before the effects draw.
Gpu::Viewport RenderViewport();

/// Where the picture goes in the back buffer of the window's size: fitted with bars when a size was
/// asked for, else as high as the window and centred.
Gpu::Viewport PictureViewport();

/// Binds the target and viewport of the final pass: the back buffer (cleared to black first when the
/// picture is fitted, so that no bar keeps old pixels) or, when supersampling, a target of the render
/// size. Draw the final pass after it, then call EndFinalPass.
void BeginFinalPass();

/// Box-filters a supersampled final pass down into the picture of the back buffer; nothing otherwise.
void EndFinalPass();
