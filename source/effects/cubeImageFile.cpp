#include "effects/cubeImageFile.h"

#include "graphics/cubeRenderer.h"
#include "graphics/picturePrefetch.h"
#include "system/fileWatcher.h"
#include "system/log.h"

namespace Effects {

CubeImageRead ReadCubeImage(FileWatcher& watcher, Image::Picture& picture) {
    picture = Image::Picture{};
    const FileData* file = watcher.GetData();
    if (!file->data || file->size <= 0) return CubeImageRead::NotOpened;
    // Decoded ahead from these very bytes while the show loaded, or decoded here.
    if (PicturePrefetch* prefetch = PicturePrefetch::Current()) {
        const auto prepared =
            prefetch->Take(watcher.GetFileName(), file->data.get(), static_cast<size_t>(file->size));
        if (prepared) {
            picture.width = static_cast<int>(prepared->width);
            picture.height = static_cast<int>(prepared->height);
            picture.rgba = prepared->levels.front();
            return CubeImageRead::Decoded;
        }
    }
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

bool ReadFormationPicture(const char* function, const std::string& fileName,
                          std::unique_ptr<FileWatcher>& watcher, Image::Picture& picture) {
    watcher = std::make_unique<FileWatcher>(fileName);
    picture = Image::Picture{};
    if (fileName.empty()) return true;
    const CubeImageRead read = ReadCubeImage(*watcher, picture);
    if (read != CubeImageRead::Decoded) {
        LogCubeImageFailure(function, read, fileName);
        return false;
    }
    return !ExceedsCubeCapacity(function, fileName, CubeCountBound(picture));
}

std::unique_ptr<CubeRenderer> MakeCubeRenderer(const std::vector<CubeInstance>& cubes) {
    auto renderer = std::make_unique<CubeRenderer>(static_cast<uint32_t>(cubes.size()), false);
    renderer->SetInstances(cubes.data(), static_cast<uint32_t>(cubes.size()));
    return renderer;
}

}  // namespace Effects
