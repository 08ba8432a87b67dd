#include "platform/gpu/formats.h"

namespace Gpu::Detail {

namespace {

// clang-format off
const FormatInfo kFormats[] = {
    // format                       name                  internal               pixel format        pixel type                         bpp comp type               norm   int    depth  stencil
    {Format::R32G32B32A32_FLOAT, "R32G32B32A32_FLOAT", GL_RGBA32F,           GL_RGBA,            GL_FLOAT,                          16, 4, GL_FLOAT,          false, false, false, false},
    {Format::R32G32B32A32_UINT,  "R32G32B32A32_UINT",  GL_RGBA32UI,          GL_RGBA_INTEGER,    GL_UNSIGNED_INT,                   16, 4, GL_UNSIGNED_INT,   false, true,  false, false},
    {Format::R32G32B32A32_SINT,  "R32G32B32A32_SINT",  GL_RGBA32I,           GL_RGBA_INTEGER,    GL_INT,                            16, 4, GL_INT,            false, true,  false, false},
    {Format::R32G32B32_FLOAT,    "R32G32B32_FLOAT",    GL_RGB32F,            GL_RGB,             GL_FLOAT,                          12, 3, GL_FLOAT,          false, false, false, false},
    {Format::R16G16B16A16_FLOAT, "R16G16B16A16_FLOAT", GL_RGBA16F,           GL_RGBA,            GL_HALF_FLOAT,                      8, 4, GL_HALF_FLOAT,     false, false, false, false},
    {Format::R32G32_FLOAT,       "R32G32_FLOAT",       GL_RG32F,             GL_RG,              GL_FLOAT,                           8, 2, GL_FLOAT,          false, false, false, false},
    {Format::D32_FLOAT,          "D32_FLOAT",          GL_DEPTH_COMPONENT32F, GL_DEPTH_COMPONENT, GL_FLOAT,                           4, 0, 0,                 false, false, true,  false},
    {Format::R32_FLOAT,          "R32_FLOAT",          GL_R32F,              GL_RED,             GL_FLOAT,                           4, 1, GL_FLOAT,          false, false, false, false},
    {Format::R32_UINT,           "R32_UINT",           GL_R32UI,             GL_RED_INTEGER,     GL_UNSIGNED_INT,                    4, 1, GL_UNSIGNED_INT,   false, true,  false, false},
    {Format::R32_SINT,           "R32_SINT",           GL_R32I,              GL_RED_INTEGER,     GL_INT,                             4, 1, GL_INT,            false, true,  false, false},
    {Format::D24_UNORM_S8_UINT,  "D24_UNORM_S8_UINT",  GL_DEPTH24_STENCIL8,  GL_DEPTH_STENCIL,   GL_UNSIGNED_INT_24_8,               4, 0, 0,                 false, false, true,  true},
    {Format::R8G8B8A8_UNORM,     "R8G8B8A8_UNORM",     GL_RGBA8,             GL_RGBA,            GL_UNSIGNED_BYTE,                   4, 4, GL_UNSIGNED_BYTE,  true,  false, false, false},
    {Format::R16G16_FLOAT,       "R16G16_FLOAT",       GL_RG16F,             GL_RG,              GL_HALF_FLOAT,                      4, 2, GL_HALF_FLOAT,     false, false, false, false},
    {Format::R8G8_UNORM,         "R8G8_UNORM",         GL_RG8,               GL_RG,              GL_UNSIGNED_BYTE,                   2, 2, GL_UNSIGNED_BYTE,  true,  false, false, false},
    {Format::R16_FLOAT,          "R16_FLOAT",          GL_R16F,              GL_RED,             GL_HALF_FLOAT,                      2, 1, GL_HALF_FLOAT,     false, false, false, false},
    {Format::R16_UINT,           "R16_UINT",           GL_R16UI,             GL_RED_INTEGER,     GL_UNSIGNED_SHORT,                  2, 1, GL_UNSIGNED_SHORT, false, true,  false, false},
    {Format::R8_UNORM,           "R8_UNORM",           GL_R8,                GL_RED,             GL_UNSIGNED_BYTE,                   1, 1, GL_UNSIGNED_BYTE,  true,  false, false, false},
    // Stored as RGBA; the channel swap happens on upload and read-back, and GL_BGRA as an attribute
    // size swaps vertex colours the same way.
    {Format::B8G8R8A8_UNORM,     "B8G8R8A8_UNORM",     GL_RGBA8,             GL_BGRA,            GL_UNSIGNED_BYTE,                   4, GL_BGRA, GL_UNSIGNED_BYTE, true, false, false, false},
};
// clang-format on

const FormatInfo kUnknown{};

}  // namespace

const FormatInfo& GetFormatInfo(Format format) {
    for (const FormatInfo& info : kFormats) {
        if (info.format == format) return info;
    }
    return kUnknown;
}

const char* FormatName(Format format) {
    const FormatInfo& info = GetFormatInfo(format);
    return info.format == Format::UNKNOWN ? "UNKNOWN" : info.name;
}

}  // namespace Gpu::Detail
