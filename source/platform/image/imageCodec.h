// The image codec under the graphics layer: image files decoded from memory to RGBA8, and screenshots
// encoded as PNG. Failures come back as text; callers log them with their own messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Image {

/// The largest width and height Decode accepts by default. The size is read from the file's header
/// before any pixel memory is allocated, so a hostile header costs nothing.
constexpr int kMaxSide = 16384;

/// The most pixels Decode accepts by default (64 megapixels: 8192 by 8192, 256 MiB decoded). Also
/// checked from the header, so a picture over the budget costs no pixel memory.
constexpr long long kMaxPixels = 64LL << 20;

/// A decoded image: rows top to bottom, 4 bytes per pixel (red, green, blue, alpha), no padding.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;
};

/// Decodes PNG, JPEG, BMP, GIF (first frame), WebP, TGA, TIFF, QOI, PNM and PCX bytes into `out`;
/// grey, palette, colour-keyed and 16-bit images are expanded to RGBA8. Images wider or taller than
/// `maxSide` or of more than `maxPixels` pixels, truncated or malformed data fail with a reason in
/// `error` and `out` left empty. Decoding holds at most about twice the decoded size at once.
bool Decode(const void* bytes, size_t size, Picture& out, std::string& error, int maxSide = kMaxSide,
            long long maxPixels = kMaxPixels);

/// Encodes a 24-bit PNG (any alpha is dropped) with a "Software" text chunk and 72 dots per inch.
/// `pixels` holds 3 (RGB) or 4 (RGBA) bytes per pixel with rows `stride` bytes apart; a negative
/// stride walks bottom-up rows from the top row. Fails when the PNG would exceed `maxBytes`.
/// `compressionLevel` 0 (fastest) to 9 (smallest); -1 keeps the encoder's default.
bool EncodePng(const uint8_t* pixels, int width, int height, ptrdiff_t stride, bool hasAlpha,
               const char* software, std::vector<uint8_t>& out, std::string& error,
               size_t maxBytes = SIZE_MAX, int compressionLevel = -1);

}  // namespace Image
