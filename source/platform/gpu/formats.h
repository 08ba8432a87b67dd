// How each format of the layer is stored, uploaded, read and fed to vertex shaders in GL.
#pragma once

#include <epoxy/gl.h>

#include "platform/gpu/gpuTypes.h"

namespace Gpu::Detail {

struct FormatInfo {
    Format format = Format::UNKNOWN;
    const char* name = "UNKNOWN";
    GLenum internalFormat = 0;  ///< texture storage; 0 when the format cannot be a texture
    GLenum pixelFormat = 0;     ///< client-side layout for uploads and read-backs
    GLenum pixelType = 0;
    uint32_t bytesPerPixel = 0;
    // As a vertex element:
    GLint components = 0;  ///< 0 when the format cannot be a vertex element
    GLenum componentType = 0;
    bool normalized = false;
    bool integer = false;  ///< read as an integer attribute
    bool depth = false;
    bool stencil = false;
};

/// The facts about `format`; an entry with format UNKNOWN and no GL values when it is not supported.
const FormatInfo& GetFormatInfo(Format format);

/// The format's name for messages.
const char* FormatName(Format format);

}  // namespace Gpu::Detail
