// A picture stood upright as a wall of cube columns pointing at the viewer, each as long as its
// pixel is bright plus a random amount; a keyframed part of the wall (in picture order) is drawn.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "effects/effect.h"
#include "graphics/cubeRenderer.h"
#include "platform/image/imageCodec.h"

class FileWatcher;

namespace Effects {

class CubeImage : public Effect {
public:
    CubeImage();
    ~CubeImage() override;

    /// Builds the wall from "image" with "offset", "min", "max" and "variation" at time 0.
    bool Load(const pugi::xml_node& node) override;
    /// Rebuilds after an edit of the image, then draws cubes "start" to "end" of the wall moved by
    /// "position" and lit from "lightDirection".
    void Render(double localTime, RenderTexturePair* target) override;

    /// Replaces the watcher and the renderer with ones built from the image; true for an empty name
    /// (no cubes), false after a message when the image cannot be read or decoded.
    bool CreateCubes(const std::string& imageName, double offset, double min, double max, double variation);

    /// The columns of the wall as built from a decoded picture (tests and benchmarks).
    static std::vector<CubeInstance> BuildWall(const Image::Picture& picture, float offset, float min,
                                               float max, float variation);

    const CubeRenderer* GetRenderer() const { return m_renderer.get(); }

private:
    /// Reads the build parameters at time 0 and builds; true on success.
    bool Build(const std::string& imageName);

    std::unique_ptr<FileWatcher> m_imageWatcher;
    std::unique_ptr<CubeRenderer> m_renderer;
};

}  // namespace Effects
