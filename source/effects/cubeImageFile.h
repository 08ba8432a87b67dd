// The image walk's input for the cube effects built from pictures: a watched file read whole and
// decoded to tightly packed red, green, blue, alpha bytes, with the failure told apart so that each
// effect logs it in its own words.
#pragma once

#include <string>

#include "platform/image/imageCodec.h"

class FileWatcher;

namespace Effects {

enum class CubeImageRead { Decoded, NotOpened, NotDecoded };

/// Reads the watched file and decodes it into `picture` (4 bytes per pixel, rows from the top).
CubeImageRead ReadCubeImage(FileWatcher& watcher, Image::Picture& picture);

/// Which picture a message speaks of: the image or the torus's height map.
enum class CubeImageRole { Image, HeightMap };

/// Logs under `function` the message for a failed read of `fileName`.
void LogCubeImageFailure(const char* function, CubeImageRead result, const std::string& fileName,
                         CubeImageRole role = CubeImageRole::Image);

/// At least the number of pixels that are not exactly black: the pixel count, made exact only for a
/// picture large enough for the difference to matter.
size_t CubeCountBound(const Image::Picture& picture);

/// Logs under `function` that `count` cubes would not fit in one renderer; true when that is so.
bool ExceedsCubeCapacity(const char* function, const std::string& fileName, size_t count);

}  // namespace Effects
