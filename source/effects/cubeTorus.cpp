#include "effects/cubeTorus.h"

#include "effects/cubeImageFile.h"
#include "system/fileWatcher.h"
#include "system/log.h"

namespace Effects {

namespace {

constexpr const char* kCreateCubes = "Effects::CubeTorus::CreateCubes";
constexpr float kTwoPi = 6.2831855f;

// The angle of step `index` of `steps` round a full turn, the first and last step on the same angle.
// A single step has no turn to spread over and stays at 0.
float TurnAngle(int index, int steps) {
    if (steps < 2) return 0.0f;
    return static_cast<float>(index) / static_cast<float>(steps - 1) * kTwoPi;
}

bool IsMagenta(const uint8_t* pixel) {
    return pixel[0] == 255 && pixel[1] == 0 && pixel[2] == 255;
}

}  // namespace

CubeTorus::CubeTorus() = default;
CubeTorus::~CubeTorus() = default;

bool CubeTorus::Load(const pugi::xml_node& node) {
    if (!Effect::Load(node)) return false;
    const std::string image = GetParam("image")->GetAsString();
    const std::string heightMap = GetParam("heightmap")->GetAsString();
    return CreateCubes(image, heightMap);
}

bool CubeTorus::CreateCubes(const std::string& imageName, const std::string& heightMapName) {
    m_imageWatcher = std::make_unique<FileWatcher>(imageName);
    m_heightMapWatcher = std::make_unique<FileWatcher>(heightMapName);

    Image::Picture image, heightMap;
    if (!imageName.empty()) {
        const CubeImageRead read = ReadCubeImage(*m_imageWatcher, image);
        if (read != CubeImageRead::Decoded) {
            LogCubeImageFailure(kCreateCubes, read, imageName);
            return false;
        }
    }
    if (!heightMapName.empty()) {
        const CubeImageRead read = ReadCubeImage(*m_heightMapWatcher, heightMap);
        if (read != CubeImageRead::Decoded) {
            LogCubeImageFailure(kCreateCubes, read, heightMapName, CubeImageRole::HeightMap);
            return false;
        }
    }
    if (imageName.empty() || heightMapName.empty() || image.width != heightMap.width) return false;
    // The walk reads the height map row for row with the image, so it must have as many rows.
    if (heightMap.height < image.height) {
        VLOG(kCreateCubes, "Heightmap '%s' has %d rows, fewer than the %d of image '%s'",
             heightMapName.c_str(), heightMap.height, image.height, imageName.c_str());
        return false;
    }
    const size_t pixels = size_t(image.width) * size_t(image.height);
    size_t cubes = pixels;
    if (pixels > CubeRenderer::kMaxCapacity) {
        cubes = 0;
        for (size_t i = 0; i < pixels; ++i) cubes += !IsMagenta(&image.rgba[i * 4]);
    }
    if (ExceedsCubeCapacity(kCreateCubes, imageName, cubes)) return false;

    Shape shape;
    shape.ringRadius = static_cast<float>(GetParam("radius1")->GetAsDouble(0.0));
    shape.tubeRadius = static_cast<float>(GetParam("radius2")->GetAsDouble(0.0));
    shape.heightScale = static_cast<float>(GetParam("height")->GetAsDouble(0.0));
    const std::vector<CubeInstance> instances = BuildTorus(image, heightMap, shape);
    m_renderer = std::make_unique<CubeRenderer>(static_cast<uint32_t>(instances.size()), false);
    m_renderer->SetInstances(instances.data(), static_cast<uint32_t>(instances.size()));
    m_renderer->SetLightDirection(0.0f, -1.0f, -0.5f);
    return true;
}

std::vector<CubeInstance> CubeTorus::BuildTorus(const Image::Picture& image, const Image::Picture& heightMap,
                                                Shape shape) {
    std::vector<CubeInstance> cubes;
    const uint8_t* pixel = image.rgba.data();
    const uint8_t* height = heightMap.rgba.data();
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x, pixel += 4, height += 4) {
            // Magenta is the transparent colour of the picture.
            if (IsMagenta(pixel)) continue;
            const float r = pixel[0] / 255.0f, g = pixel[1] / 255.0f, b = pixel[2] / 255.0f;
            const float m = height[0] / 255.0f;
            const float v = m * 0.222f + m * 0.707f + m * 0.071f;
            const Matrix world = Matrix::Translation(0.0f, shape.tubeRadius + v * shape.heightScale, 0.0f) *
                                 Matrix::RotationX(TurnAngle(y, image.height)) *
                                 Matrix::Translation(0.0f, 0.0f, shape.ringRadius) *
                                 Matrix::RotationY(TurnAngle(x, image.width));
            CubeInstance cube;
            cube.world = world.Transposed();
            cube.colourLit = {r, g, b, 1.0f};
            cube.colourUnlit = {0.5f * r, 0.5f * g, 0.5f * b, 1.0f};
            cube.colourSpecular = {0.25f, 0.25f, 0.25f, 10.0f};
            cubes.push_back(cube);
        }
    }
    return cubes;
}

void CubeTorus::Render(double localTime, RenderTexturePair* target) {
    // Asked in turn: when the image changed, the height map is not asked this frame.
    if ((m_imageWatcher && m_imageWatcher->GetHasChanged()) ||
        (m_heightMapWatcher && m_heightMapWatcher->GetHasChanged())) {
        CreateCubes(m_imageWatcher->GetFileName(), m_heightMapWatcher->GetFileName());
    }
    if (!m_renderer) return;

    const float count =
        HasParam("count") ? static_cast<float>(GetParam("count")->GetAsDouble(localTime)) : 1.0f;
    m_renderer->TakeCamera();
    const double speed = GetParam("speed")->GetAsDouble(localTime);
    const float angle = static_cast<float>(speed * localTime);
    m_renderer->Draw(Matrix::RotationY(angle), target, 0.0f, count);
}

}  // namespace Effects
