// The size options of the command line: --size WxH (or native) and --supersample N, read and turned
// into the render size of the shared graphics state.
#pragma once

#include <string>

/// What --size and --supersample ask for.
struct SizeRequest {
    int width = 0;  ///< of the output picture; 0 when --size was not given
    int height = 0;
    bool native = false;  ///< --size native: the screen's own resolution
    int supersample = 1;  ///< render this many times finer and filter down (1 to 4)

    /// Whether --size was given at all.
    bool HasSize() const { return width > 0 || native; }
};

/// The largest output --size takes, and the largest supersampling factor.
constexpr int kMaxOutputWidth = 7680;
constexpr int kMaxOutputHeight = 4320;
constexpr int kMaxSupersample = 4;

/// Reads "WxH" (whole numbers, 1 to 7680 by 1 to 4320) or "native" into `request`; "" on success,
/// else what is wrong with it.
std::string ParseSize(const std::string& text, SizeRequest& request);

/// Reads the N of --supersample (a whole number from 1 to 4) into `request`; "" on success, else
/// what is wrong with it.
std::string ParseSupersample(const std::string& text, SizeRequest& request);

/// Makes the render size for a back buffer of `width` by `height` pixels as `request` asks: the
/// largest 4:3 picture in it, fitted with bars when a size was given, times the supersampling.
/// Nothing changes for a request without options.
void ApplySizeRequest(const SizeRequest& request, int width, int height);
