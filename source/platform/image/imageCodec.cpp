// Image codec.
//   [Header readers]  format by signature and the image size from the header, before decoding
//   [PNG decode]      libpng, reading from memory with every short read an error
//   [Decode]          SDL_image's loader for the other formats, then conversion to RGBA8
//   [Encode]          libpng writer into memory with the text and resolution chunks
#include "platform/image/imageCodec.h"

#include <SDL.h>
#include <SDL_image.h>
#include <png.h>

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

namespace Image {
namespace {

// ---------------------------------------------------------------------------------------------------
// [Header readers]

enum class Format { Png, Jpeg, Bmp, Gif, WebP, Tga, Tiff, Qoi, Pnm, Pcx };

struct Header {
    Format format;
    const char* name;
    long long width = 0;
    long long height = 0;
    // The fewest bytes that can hold the pixels the header claims: a shorter file is truncated, or a
    // bomb whose pixels would come from nowhere.
    long long minBytes = 0;
};

// Bounds-checked little and big endian reads: a read past the end marks the reader truncated.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool Has(size_t at, size_t count) const { return at <= m_size && count <= m_size - at; }
    uint32_t Byte(size_t at) { return Has(at, 1) ? m_data[at] : Fail(); }
    uint32_t Le16(size_t at) { return Byte(at) | Byte(at + 1) << 8; }
    uint32_t Le32(size_t at) { return Le16(at) | Le16(at + 2) << 16; }
    uint32_t Be16(size_t at) { return Byte(at) << 8 | Byte(at + 1); }
    uint32_t Be32(size_t at) { return Be16(at) << 16 | Be16(at + 2); }
    bool Matches(size_t at, std::string_view text) const {
        return Has(at, text.size()) && std::memcmp(m_data + at, text.data(), text.size()) == 0;
    }
    bool Truncated() const { return m_truncated; }
    size_t Size() const { return m_size; }

private:
    uint32_t Fail() {
        m_truncated = true;
        return 0;
    }
    const uint8_t* m_data;
    size_t m_size;
    bool m_truncated = false;
};

// Sizes in byte counts are clamped far above any limit, so that products of them cannot overflow.
long long Clamped(long long side) {
    return std::clamp(side, 0LL, 1LL << 24);
}

// PNG: the IHDR chunk comes first.
bool ReadPng(Reader& in, Header& header, std::string& error) {
    if (!in.Matches(12, "IHDR")) {
        error = in.Has(12, 4) ? "PNG does not start with a header chunk" : "truncated PNG header";
        return false;
    }
    header.width = in.Be32(16);
    header.height = in.Be32(20);
    const uint32_t depth = in.Byte(24), colourType = in.Byte(25);
    if (in.Truncated()) return true;
    static const int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
    const int channels = colourType < 7 ? kChannels[colourType] : 0;
    if (channels == 0 || depth == 0 || depth > 16) {
        error = "PNG header has an invalid colour type or bit depth";
        return false;
    }
    // Deflate expands at most 1032 to 1 (a 258-byte match in 2 bits), so the bound never refuses a
    // sound file.
    const long long rowBytes = (Clamped(header.width) * channels * depth + 7) / 8;
    header.minBytes = rowBytes * Clamped(header.height) / 1032;
    return true;
}

// JPEG: walk the marker segments up to the first frame header, which holds the size.
bool ReadJpeg(Reader& in, Header& header, std::string& error) {
    size_t at = 2;
    while (true) {
        if (!in.Has(at, 2)) {
            error = "truncated JPEG header";
            return false;
        }
        if (in.Byte(at) != 0xFF) {
            error = "JPEG marker expected";
            return false;
        }
        while (in.Has(at + 1, 1) && in.Byte(at + 1) == 0xFF) ++at;  // fill bytes
        const uint32_t marker = in.Byte(at + 1);
        at += 2;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
        if (marker == 0xD9 || marker == 0xDA) {
            error = "JPEG has no frame header before its image data";
            return false;
        }
        const uint32_t length = in.Be16(at);
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            header.height = in.Be16(at + 3);
            header.width = in.Be16(at + 5);
            return true;  // a truncated frame header is reported by the caller
        }
        if (in.Truncated() || length < 2) {
            error = in.Truncated() ? "truncated JPEG header" : "JPEG segment has an invalid length";
            return false;
        }
        at += length;
    }
}

bool ReadBmp(Reader& in, Header& header, std::string&) {
    if (in.Le32(14) == 12) {  // the old core header with 16-bit sizes
        header.width = static_cast<int16_t>(in.Le16(18));
        header.height = static_cast<int16_t>(in.Le16(20));
    } else {
        header.width = static_cast<int32_t>(in.Le32(18));
        header.height = static_cast<int32_t>(in.Le32(22));
    }
    if (header.height < 0) header.height = -header.height;  // top-down rows
    return true;
}

// GIF: the first frame may be larger than the logical screen, so both count.
bool ReadGif(Reader& in, Header& header, std::string& error) {
    header.width = in.Le16(6);
    header.height = in.Le16(8);
    const uint32_t flags = in.Byte(10);
    size_t at = 13 + ((flags & 0x80) ? 3u << ((flags & 7) + 1) : 0u);
    while (!in.Truncated()) {
        const uint32_t block = in.Byte(at);
        if (block == 0x2C) {
            header.width = std::max<long long>(header.width, in.Le16(at + 5));
            header.height = std::max<long long>(header.height, in.Le16(at + 7));
            return true;
        }
        if (block != 0x21) {
            error = in.Truncated() ? "truncated GIF header" : "GIF has no image before its end";
            return false;
        }
        at += 2;  // extension introducer and label, then sub-blocks up to an empty one
        for (uint32_t length = in.Byte(at); length != 0 && !in.Truncated(); length = in.Byte(at))
            at += length + 1;
        ++at;
    }
    error = "truncated GIF header";
    return false;
}

bool ReadWebP(Reader& in, Header& header, std::string& error) {
    if (in.Matches(12, "VP8 ")) {
        header.width = in.Le16(26) & 0x3FFF;
        header.height = in.Le16(28) & 0x3FFF;
    } else if (in.Matches(12, "VP8L")) {
        const uint32_t bits = in.Le32(21);
        header.width = (bits & 0x3FFF) + 1;
        header.height = ((bits >> 14) & 0x3FFF) + 1;
    } else if (in.Matches(12, "VP8X")) {
        header.width = (in.Le32(24) & 0xFFFFFF) + 1;
        header.height = (in.Le32(27) & 0xFFFFFF) + 1;
    } else {
        error = in.Has(12, 4) ? "WebP has an unknown first chunk" : "truncated WebP header";
        return false;
    }
    return true;
}

bool ReadTiff(Reader& in, Header& header, std::string& error) {
    const bool little = in.Byte(0) == 'I';
    auto u16 = [&](size_t at) { return little ? in.Le16(at) : in.Be16(at); };
    auto u32 = [&](size_t at) { return little ? in.Le32(at) : in.Be32(at); };
    const size_t directory = u32(4);
    const uint32_t entries = u16(directory);
    bool haveWidth = false, haveHeight = false;
    for (uint32_t i = 0; i < entries && !in.Truncated(); ++i) {
        const size_t entry = directory + 2 + 12 * static_cast<size_t>(i);
        const uint32_t tag = u16(entry), type = u16(entry + 2);
        const long long value = type == 3 ? u16(entry + 8) : u32(entry + 8);
        if (tag == 256) header.width = value, haveWidth = true;
        if (tag == 257) header.height = value, haveHeight = true;
    }
    if (in.Truncated() || !haveWidth || !haveHeight) {
        error = "TIFF header without image size";
        return false;
    }
    return true;
}

// PNM: "P1" to "P6", then width and height as text, with comments from '#' to the end of a line.
bool ReadPnm(Reader& in, Header& header, std::string& error) {
    size_t at = 2;
    long long* fields[2] = {&header.width, &header.height};
    for (long long* field : fields) {
        while (in.Has(at, 1)) {
            const uint32_t c = in.Byte(at);
            if (c == '#') {
                while (in.Has(at, 1) && in.Byte(at) != '\n') ++at;
            } else if (c == ' ' || (c >= '\t' && c <= '\r')) {
                ++at;
            } else {
                break;
            }
        }
        if (!in.Has(at, 1) || in.Byte(at) < '0' || in.Byte(at) > '9') {
            error = "PNM header without image size";
            return false;
        }
        for (*field = 0; in.Has(at, 1) && in.Byte(at) >= '0' && in.Byte(at) <= '9'; ++at) {
            *field = std::min<long long>(*field * 10 + (in.Byte(at) - '0'), LLONG_MAX / 20);
        }
    }
    return true;
}

// TGA has no signature: a header whose fields all hold allowed values is taken for one. The loader
// does not notice missing pixels, so the header gives the bytes they need: all of them when
// uncompressed, a one-byte packet header and a pixel per 128 pixels when run-length encoded.
void ReadTgaSize(Reader& in, Header& header) {
    header.width = in.Le16(12);
    header.height = in.Le16(14);
    const long long pixelBytes = (in.Byte(16) + 7) / 8, type = in.Byte(2);
    const long long mapBytes = in.Byte(1) == 1 ? in.Le16(5) * ((in.Byte(7) + 7) / 8) : 0;
    const long long pixels = header.width * header.height;
    header.minBytes = 18 + in.Byte(0) + mapBytes +
                      (type >= 9 ? (pixels + 127) / 128 * (1 + pixelBytes) : pixels * pixelBytes);
}

// QOI: the loader repeats the last pixel when the data runs out, so the end marker must be there;
// one byte encodes at most a run of 62 pixels.
bool ReadQoi(Reader& in, Header& header, std::string& error) {
    header.width = in.Be32(4);
    header.height = in.Be32(8);
    header.minBytes = 14 + (Clamped(header.width) * Clamped(header.height) + 61) / 62 + 8;
    if (in.Size() < 22 || !in.Matches(in.Size() - 8, std::string_view("\0\0\0\0\0\0\0\1", 8))) {
        error = "truncated QOI data";
        return false;
    }
    return true;
}

bool IsTga(Reader& in) {
    const uint32_t mapType = in.Byte(1), type = in.Byte(2), depth = in.Byte(16);
    const bool typeOk = type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11;
    const bool mapOk = mapType == 1 || (mapType == 0 && type != 1 && type != 9);
    const bool depthOk = depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
    return in.Has(0, 18) && typeOk && mapOk && depthOk;
}

// Finds the format and the size the decoder will allocate for; false with a reason when the bytes
// are no image we read.
bool ReadHeader(const uint8_t* data, size_t size, Header& header, std::string& error) {
    Reader in(data, size);
    bool ok = false;
    if (in.Matches(0, "\x89PNG\r\n\x1A\n")) {
        header = {Format::Png, "PNG"};
        ok = ReadPng(in, header, error);
    } else if (in.Matches(0, "\xFF\xD8\xFF")) {
        header = {Format::Jpeg, "JPEG"};
        ok = ReadJpeg(in, header, error);
    } else if (in.Matches(0, "BM")) {
        header = {Format::Bmp, "BMP"};
        ok = ReadBmp(in, header, error);
    } else if (in.Matches(0, "GIF87a") || in.Matches(0, "GIF89a")) {
        header = {Format::Gif, "GIF"};
        ok = ReadGif(in, header, error);
    } else if (in.Matches(0, "RIFF") && in.Matches(8, "WEBP")) {
        header = {Format::WebP, "WebP"};
        ok = ReadWebP(in, header, error);
    } else if (in.Matches(0, "II*") || in.Matches(0, "MM")) {
        const bool classic = (data[0] == 'I' && in.Has(0, 4) && data[2] == 42 && data[3] == 0) ||
                             (data[0] == 'M' && in.Has(0, 4) && data[2] == 0 && data[3] == 42);
        if (!classic) {
            error = in.Has(0, 4) ? "unrecognised image format" : "truncated TIFF header";
            return false;
        }
        header = {Format::Tiff, "TIFF"};
        ok = ReadTiff(in, header, error);
    } else if (in.Matches(0, "qoif")) {
        header = {Format::Qoi, "QOI"};
        ok = ReadQoi(in, header, error);
    } else if (size >= 2 && data[0] == 'P' && data[1] >= '1' && data[1] <= '6') {
        header = {Format::Pnm, "PNM"};
        ok = ReadPnm(in, header, error);
    } else if (in.Has(0, 4) && data[0] == 0x0A && data[1] == 5 && data[2] == 1) {
        header = {Format::Pcx, "PCX"};
        header.width = static_cast<long long>(in.Le16(8)) - in.Le16(4) + 1;
        header.height = static_cast<long long>(in.Le16(10)) - in.Le16(6) + 1;
        // The loader sizes its line buffer from these fields unchecked (a negative count is a huge one).
        const int planes = static_cast<int>(in.Byte(65)), lineBytes = static_cast<int16_t>(in.Le16(66));
        ok = planes >= 1 && planes <= 4 && lineBytes > 0;
        if (!ok) error = "PCX header has an invalid line layout";
    } else if (IsTga(in)) {
        header = {Format::Tga, "TGA"};
        ReadTgaSize(in, header);
        ok = true;
    } else {
        error = size == 0 ? "no image data" : "unrecognised image format";
        return false;
    }
    if (ok && in.Truncated()) {
        error = std::string("truncated ") + header.name + " header";
        return false;
    }
    return ok;
}

// ---------------------------------------------------------------------------------------------------
// [PNG decode]
// SDL_image's PNG loader ignores short reads, so at the end of a damaged file libpng reads stale bytes
// and can loop for ever over a chunk with a bad checksum. PNG is our main texture format, so it gets
// a reader of its own.

struct PngSource {
    const uint8_t* data;
    size_t size;
    size_t at;
    char message[200];
};

void OnPngReadError(png_structp png, png_const_charp message) {
    auto* source = static_cast<PngSource*>(png_get_error_ptr(png));
    std::snprintf(source->message, sizeof source->message, "%s", message);
    png_longjmp(png, 1);
}

void OnPngIgnoredWarning(png_structp, png_const_charp) {}

void OnPngRead(png_structp png, png_bytep area, png_size_t length) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (length > source->size - source->at) png_error(png, "truncated PNG data");
    std::memcpy(area, source->data + source->at, length);
    source->at += length;
}

// These two hold nothing that needs destruction, since libpng leaves them by longjmp on an error.
bool ReadPngInfo(png_structp png, png_infop info, int maxSide) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_user_limits(png, maxSide, maxSide);
    png_read_info(png, info);
    png_set_expand(png);  // palette to RGB, small grey to 8 bits, transparency table to alpha
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return true;
}

bool ReadPngRows(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    return true;
}

bool DecodePng(const uint8_t* data, size_t size, int maxSide, Picture& out, std::string& error) {
    PngSource source{data, size, 0, ""};
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, OnPngReadError, OnPngIgnoredWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        error = "PNG decoder could not be created";
        return false;
    }
    png_set_read_fn(png, &source, OnPngRead);
    bool ok = ReadPngInfo(png, info, maxSide);
    if (ok && png_get_rowbytes(png, info) != static_cast<size_t>(png_get_image_width(png, info)) * 4) {
        std::snprintf(source.message, sizeof source.message, "unexpected PNG row layout");
        ok = false;
    }
    if (ok) {
        out.width = static_cast<int>(png_get_image_width(png, info));
        out.height = static_cast<int>(png_get_image_height(png, info));
        const size_t rowBytes = static_cast<size_t>(out.width) * 4;
        out.rgba.resize(rowBytes * out.height);
        std::vector<png_bytep> rows(out.height);
        for (int y = 0; y < out.height; ++y) rows[y] = &out.rgba[y * rowBytes];
        ok = ReadPngRows(png, rows.data());
    }
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok) {
        out = Picture{};
        error = std::string("PNG data could not be decoded: ") + source.message;
    }
    return ok;
}

// ---------------------------------------------------------------------------------------------------
// [Decode]

struct SurfaceDeleter {
    void operator()(SDL_Surface* surface) const { SDL_FreeSurface(surface); }
};
using SurfacePtr = std::unique_ptr<SDL_Surface, SurfaceDeleter>;

SDL_Surface* Load(Format format, SDL_RWops* stream) {
    switch (format) {
        case Format::Png:
            return IMG_LoadPNG_RW(stream);
        case Format::Jpeg:
            return IMG_LoadJPG_RW(stream);
        case Format::Bmp:
            return IMG_LoadBMP_RW(stream);
        case Format::Gif:
            return IMG_LoadGIF_RW(stream);
        case Format::WebP:
            return IMG_LoadWEBP_RW(stream);
        case Format::Tga:
            return IMG_LoadTGA_RW(stream);
        case Format::Tiff:
            return IMG_LoadTIF_RW(stream);
        case Format::Qoi:
            return IMG_LoadQOI_RW(stream);
        case Format::Pnm:
            return IMG_LoadPNM_RW(stream);
        case Format::Pcx:
            return IMG_LoadPCX_RW(stream);
    }
    return nullptr;
}

std::string SizeText(long long width, long long height) {
    return std::to_string(width) + " by " + std::to_string(height);
}

}  // namespace

bool Decode(const void* bytes, size_t size, Picture& out, std::string& error, int maxSide,
            long long maxPixels) {
    out = Picture{};
    error.clear();
    const auto* data = static_cast<const uint8_t*>(bytes);
    if (!data) size = 0;
    Header header{};
    if (!ReadHeader(data, size, header, error)) return false;
    auto tooLarge = [&](long long width, long long height) {
        error = std::string(header.name) + " image of " + SizeText(width, height) +
                " pixels exceeds the limit of " + SizeText(maxSide, maxSide);
        return false;
    };
    if (header.width <= 0 || header.height <= 0) {
        error = std::string(header.name) + " header gives an empty image size (" +
                SizeText(header.width, header.height) + ")";
        return false;
    }
    if (header.width > maxSide || header.height > maxSide) return tooLarge(header.width, header.height);
    auto overBudget = [&](long long width, long long height) {
        const bool mega = maxPixels >= (1LL << 20) && maxPixels % (1LL << 20) == 0;
        error =
            std::string(header.name) + " image of " + SizeText(width, height) +
            " pixels is above the budget of " +
            (mega ? std::to_string(maxPixels >> 20) + " megapixels" : std::to_string(maxPixels) + " pixels");
        return false;
    };
    if (header.width * header.height > maxPixels) return overBudget(header.width, header.height);
    if (static_cast<long long>(size) < header.minBytes) {
        error = std::string(header.name) + " data of " + std::to_string(size) + " bytes cannot hold a " +
                SizeText(header.width, header.height) + " image";
        return false;
    }
    if (size > static_cast<size_t>(INT_MAX)) {
        error = "image data larger than 2 GiB";
        return false;
    }

    if (header.format == Format::Png) return DecodePng(data, size, maxSide, out, error);

    SDL_ClearError();
    SDL_RWops* stream = SDL_RWFromConstMem(data, static_cast<int>(size));
    SurfacePtr decoded(stream ? Load(header.format, stream) : nullptr);
    if (stream) SDL_RWclose(stream);
    if (!decoded) {
        const char* reason = SDL_GetError();
        error = std::string(header.name) + " data could not be decoded" + (reason && *reason ? ": " : "") +
                (reason ? reason : "");
        return false;
    }
    // The loaders do not always size the picture as the header does; the limit holds either way.
    if (decoded->w <= 0 || decoded->h <= 0 || decoded->w > maxSide || decoded->h > maxSide)
        return tooLarge(decoded->w, decoded->h);
    if (static_cast<long long>(decoded->w) * decoded->h > maxPixels)
        return overBudget(decoded->w, decoded->h);

    SurfacePtr rgba(SDL_ConvertSurfaceFormat(decoded.get(), SDL_PIXELFORMAT_RGBA32, 0));
    if (!rgba) {
        error = std::string(header.name) + " pixels could not be converted: " + SDL_GetError();
        return false;
    }
    decoded.reset();
    const size_t rowBytes = static_cast<size_t>(rgba->w) * 4;
    out.width = rgba->w;
    out.height = rgba->h;
    out.rgba.resize(rowBytes * rgba->h);
    if (SDL_LockSurface(rgba.get()) != 0) {
        out = Picture{};
        error = std::string(header.name) + " pixels could not be read: " + SDL_GetError();
        return false;
    }
    const auto* pixels = static_cast<const uint8_t*>(rgba->pixels);
    for (int y = 0; y < rgba->h; ++y)
        std::memcpy(&out.rgba[y * rowBytes], pixels + static_cast<size_t>(y) * rgba->pitch, rowBytes);
    SDL_UnlockSurface(rgba.get());
    // The TIFF loader hands out colours multiplied by alpha; everything else here is straight alpha.
    if (header.format == Format::Tiff) {
        for (size_t i = 0; i < out.rgba.size(); i += 4) {
            const unsigned alpha = out.rgba[i + 3];
            if (alpha == 0 || alpha == 255) continue;
            for (size_t c = i; c < i + 3; ++c)
                out.rgba[c] = static_cast<uint8_t>(std::min(255u, (out.rgba[c] * 255u + alpha / 2) / alpha));
        }
    }
    return true;
}

// ---------------------------------------------------------------------------------------------------
// [Encode]

namespace {

struct PngSink {
    std::vector<uint8_t>* out;
    size_t maxBytes;
    char message[200];
};

void OnPngError(png_structp png, png_const_charp message) {
    auto* sink = static_cast<PngSink*>(png_get_error_ptr(png));
    std::snprintf(sink->message, sizeof sink->message, "%s", message);
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

void OnPngWrite(png_structp png, png_bytep data, png_size_t length) {
    auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
    if (length > sink->maxBytes - sink->out->size()) png_error(png, "PNG exceeds the size limit");
    sink->out->insert(sink->out->end(), data, data + length);
}

void OnPngFlush(png_structp) {}

// Holds nothing that needs destruction, since libpng leaves it by longjmp on an error.
bool WritePng(png_structp png, png_infop info, const uint8_t* const* rows, int width, int height,
              bool hasAlpha, const char* software, int compressionLevel) {
    if (setjmp(png_jmpbuf(png))) return false;
    if (compressionLevel >= 0) png_set_compression_level(png, compressionLevel < 9 ? compressionLevel : 9);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_pHYs(png, info, 2835, 2835, PNG_RESOLUTION_METER);  // 72 dots per inch
    png_text text{};
    text.compression = PNG_TEXT_COMPRESSION_NONE;
    text.key = const_cast<char*>("Software");
    text.text = const_cast<char*>(software ? software : "");
    png_set_text(png, info, &text, 1);
    png_write_info(png, info);
    if (hasAlpha) png_set_filler(png, 0, PNG_FILLER_AFTER);  // on writing, this drops the fourth byte
    png_write_image(png, const_cast<png_bytepp>(rows));
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

bool EncodePng(const uint8_t* pixels, int width, int height, ptrdiff_t stride, bool hasAlpha,
               const char* software, std::vector<uint8_t>& out, std::string& error, size_t maxBytes,
               int compressionLevel) {
    out.clear();
    error.clear();
    if (!pixels || width <= 0 || height <= 0 || width > (1 << 24) || height > (1 << 24)) {
        error = "no picture to encode (" + SizeText(width, height) + ")";
        return false;
    }
    PngSink sink{&out, maxBytes, ""};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, OnPngError, OnPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        error = "PNG encoder could not be created";
        return false;
    }
    png_set_write_fn(png, &sink, OnPngWrite, OnPngFlush);
    std::vector<const uint8_t*> rows(height);
    for (int y = 0; y < height; ++y) rows[y] = pixels + y * stride;
    const bool ok = WritePng(png, info, rows.data(), width, height, hasAlpha, software, compressionLevel);
    png_destroy_write_struct(&png, &info);
    if (!ok) {
        out.clear();
        error = std::string("PNG encoding failed: ") + sink.message;
    }
    return ok;
}

}  // namespace Image
