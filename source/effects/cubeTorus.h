// A picture wrapped round a torus of cubes, each pushed out from the tube by a height map's
// brightness; the torus spins about its vertical axis and a keyframed part of it is drawn. Both
// pictures are watched and the torus rebuilt when either changes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "effects/effect.h"
#include "graphics/cubeRenderer.h"
#include "platform/image/imageCodec.h"

class FileWatcher;

namespace Effects {

class CubeTorus : public Effect {
public:
    CubeTorus();
    ~CubeTorus() override;

    /// Builds the torus from "image" and "heightmap".
    bool Load(const pugi::xml_node& node) override;
    /// Rebuilds after an edit of either picture, then draws the first "count" of the cubes turned
    /// by "speed" times the local time.
    void Render(double localTime, RenderTexturePair* target) override;

    /// Replaces both watchers and, on success, the renderer with one built from the two pictures and
    /// "radius1", "radius2", "height" at time 0; false when a picture is missing, unreadable or does
    /// not match the other (an earlier torus then stays).
    bool CreateCubes(const std::string& imageName, const std::string& heightMapName);

    /// Shape of the torus: ring radius, tube radius and the push of a height of 1.
    struct Shape {
        float ringRadius = 0.0f;
        float tubeRadius = 0.0f;
        float heightScale = 0.0f;
    };
    /// The cubes of the torus as built from two decoded pictures of one width, the height map at
    /// least as tall as the image (tests and benchmarks).
    static std::vector<CubeInstance> BuildTorus(const Image::Picture& image, const Image::Picture& heightMap,
                                                Shape shape);

    const CubeRenderer* GetRenderer() const { return m_renderer.get(); }

private:
    std::unique_ptr<FileWatcher> m_imageWatcher;
    std::unique_ptr<FileWatcher> m_heightMapWatcher;
    std::unique_ptr<CubeRenderer> m_renderer;
};

}  // namespace Effects
