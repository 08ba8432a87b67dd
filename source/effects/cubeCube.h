// A picture turned into a relief of cube columns, shown six times as the faces of one big cube that
// turns as a whole. The picture is watched and the relief rebuilt when it changes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "effects/effect.h"
#include "graphics/cubeRenderer.h"
#include "platform/image/imageCodec.h"

class FileWatcher;

namespace Effects {

class CubeCube : public Effect {
public:
    CubeCube();
    ~CubeCube() override;

    /// Builds the relief from "image" with "unlitStrength", "min", "max" and "variation" at time 0.
    bool Load(const pugi::xml_node& node) override;
    /// Rebuilds after an edit of the image, then draws the relief as the six faces, pushed out by
    /// "offset" and turned by "rotation".
    void Render(double localTime, RenderTexturePair* target) override;

    /// Replaces the watcher and the renderer with ones built from the image; true for an empty name
    /// (no cubes), false after a message when the image cannot be read or decoded.
    bool CreateCubes(const std::string& imageName, double unlitStrength, double min, double max,
                     double variation);

    /// The columns of the relief as built from a decoded picture (tests and benchmarks).
    static std::vector<CubeInstance> BuildRelief(const Image::Picture& picture, float unlitStrength,
                                                 float min, float max, float variation);

    const CubeRenderer* GetRenderer() const { return m_renderer.get(); }

private:
    /// Reads the build parameters at time 0 and builds; true on success.
    bool Build(const std::string& imageName);

    std::unique_ptr<FileWatcher> m_imageWatcher;
    std::unique_ptr<CubeRenderer> m_renderer;
};

}  // namespace Effects
