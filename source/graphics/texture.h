// Shader-readable images from the data: a 2D texture decoded from an image file, and a 3D colour
// look-up texture built from a ".cube" table. Each object watches its own file so that its owner can
// load it again after an edit; there is no cache, two owners of one file hold two copies.
#pragma once

#include <memory>
#include <string>

#include "platform/gpu/gpu.h"
#include "system/fileWatcher.h"

/// A 2D texture from an image file, with its mip chain.
class Texture {
public:
    Texture() = default;
    ~Texture();
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;

    /// (Re)loads from an image file of the mounted data, dropping the earlier picture first; true on
    /// success and for an empty name (no texture), false when the file cannot be read or decoded.
    bool Load(const std::string& fileName);
    /// Loads the watched file again if it changed since the last Load; true when it did.
    bool ReloadIfChanged();

    std::unique_ptr<FileWatcher> watcher;  ///< on the file of the last Load; null before the first
    Gpu::Texture2DPtr texture;             ///< null when nothing is loaded
    Gpu::ShaderResourceViewPtr view;       ///< what owners bind; null when nothing is loaded
};

/// A 3D colour look-up texture from a ".cube" file: the table's first index runs along x.
class Texture3D {
public:
    Texture3D() = default;
    ~Texture3D();
    Texture3D(const Texture3D&) = delete;
    Texture3D& operator=(const Texture3D&) = delete;

    /// (Re)loads from a ".cube" file of the mounted data. Always true: failures are logged and leave
    /// the texture and view null.
    bool Load(const std::string& fileName);
    /// Loads the watched file again if it changed since the last Load; true when it did.
    bool ReloadIfChanged();

    std::unique_ptr<FileWatcher> watcher;  ///< on the file of the last Load; null before the first
    Gpu::Texture3DPtr texture;             ///< null when nothing is loaded
    Gpu::ShaderResourceViewPtr view;       ///< what owners bind; null when nothing is loaded
};
