#include "effects/cubeImageFile.h"

#include "graphics/cubeRenderer.h"
#include "system/fileWatcher.h"
#include "system/log.h"

namespace Effects {

CubeImageRead ReadCubeImage(FileWatcher& watcher, Image::Picture& picture) {
    picture = Image::Picture{};
    const FileData* file = watcher.GetData();
    if (!file->data || file->size <= 0) return CubeImageRead::NotOpened;
    std::string error;
    if (!Image::Decode(file->data.get(), static_cast<size_t>(file->size), picture, error)) {
        return CubeImageRead::NotDecoded;
    }
    return CubeImageRead::Decoded;
}

void LogCubeImageFailure(const char* function, CubeImageRead result, const std::string& fileName,
                         CubeImageRole role) {
    if (result == CubeImageRead::NotOpened && role == CubeImageRole::HeightMap) {
        VLOG(function, "Heightmap file '%s' couldn't be opened", fileName.c_str());
    } else if (result == CubeImageRead::NotOpened) {
        VLOG(function, "Image file '%s' couldn't be opened", fileName.c_str());
    } else if (result == CubeImageRead::NotDecoded) {
        VLOG(function, "Error creating texture from '%s'", fileName.c_str());
    }
}

size_t CubeCountBound(const Image::Picture& picture) {
    // Only a picture larger than a renderer's capacity needs counting.
    const size_t pixels = size_t(picture.width) * size_t(picture.height);
    if (pixels <= CubeRenderer::kMaxCapacity) return pixels;
    size_t lit = 0;
    for (size_t i = 0; i + 3 < picture.rgba.size(); i += 4) {
        lit += (picture.rgba[i] | picture.rgba[i + 1] | picture.rgba[i + 2]) != 0;
    }
    return lit;
}

bool ExceedsCubeCapacity(const char* function, const std::string& fileName, size_t count) {
    if (count <= CubeRenderer::kMaxCapacity) return false;
    VLOG(function, "'%s' would make more than %u cubes, more than one buffer holds; nothing is built",
         fileName.c_str(), CubeRenderer::kMaxCapacity);
    return true;
}

}  // namespace Effects
