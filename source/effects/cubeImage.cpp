#include "effects/cubeImage.h"

#include "effects/cubeImageFile.h"
#include "effects/cubeRandom.h"
#include "system/fileWatcher.h"

namespace Effects {

namespace {

constexpr const char* kCreateCubes = "Effects::CubeImage::CreateCubes";

}  // namespace

CubeImage::CubeImage() = default;
CubeImage::~CubeImage() = default;

bool CubeImage::Load(const pugi::xml_node& node) {
    if (!Effect::Load(node)) return false;
    if (!Build(GetParam("image")->GetAsString())) return false;
    m_renderer->SetLightDirection(0.0f, -1.0f, -0.2f);
    return true;
}

bool CubeImage::Build(const std::string& imageName) {
    auto value = [&](const char* name, double fallback) {
        return HasParam(name) ? GetParam(name)->GetAsDouble(0.0) : fallback;
    };
    return CreateCubes(imageName, value("offset", 0.0), value("min", 0.0), value("max", 1.0),
                       value("variation", 0.5));
}

bool CubeImage::CreateCubes(const std::string& imageName, double offset, double min, double max,
                            double variation) {
    m_imageWatcher = std::make_unique<FileWatcher>(imageName);
    m_renderer = std::make_unique<CubeRenderer>(1, false);
    if (imageName.empty()) return true;

    Image::Picture picture;
    const CubeImageRead read = ReadCubeImage(*m_imageWatcher, picture);
    if (read != CubeImageRead::Decoded) {
        LogCubeImageFailure(kCreateCubes, read, imageName);
        return false;
    }
    if (ExceedsCubeCapacity(kCreateCubes, imageName, CubeCountBound(picture))) return false;
    const std::vector<CubeInstance> cubes =
        BuildWall(picture, static_cast<float>(offset), static_cast<float>(min), static_cast<float>(max),
                  static_cast<float>(variation));
    m_renderer = std::make_unique<CubeRenderer>(static_cast<uint32_t>(cubes.size()), false);
    m_renderer->SetInstances(cubes.data(), static_cast<uint32_t>(cubes.size()));
    return true;
}

std::vector<CubeInstance> CubeImage::BuildWall(const Image::Picture& picture, float offset, float min,
                                               float max, float variation) {
    std::vector<CubeInstance> cubes;
    CubeRandom random(0);
    const float width = static_cast<float>(picture.width), height = static_cast<float>(picture.height);
    const uint8_t* pixel = picture.rgba.data();
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x, pixel += 4) {
            const float r = pixel[0] / 255.0f, g = pixel[1] / 255.0f, b = pixel[2] / 255.0f;
            if (r == 0.0f && g == 0.0f && b == 0.0f) continue;
            const float chance = random.Next();
            const float luminance = 0.222f * r + 0.707f * g + 0.071f * b;
            const float h = min + luminance * max + chance * variation;
            // Picture rows run down the wall: row 0 at the top, at y = height / 2.
            const Matrix world =
                Matrix::Scaling(1.1f, 1.1f, h) *
                Matrix::Translation(static_cast<float>(x) - width * 0.5f,
                                    (height - static_cast<float>(y)) - height * 0.5f, h * 0.5f + offset);
            CubeInstance cube;
            cube.world = world.Transposed();
            cube.colourLit = {r, g, b, 1.0f};
            cube.colourUnlit = {0.75f * r, 0.75f * g, 0.75f * b, 1.0f};
            cube.colourSpecular = {0.25f, 0.25f, 0.25f, 90.0f};
            cubes.push_back(cube);
        }
    }
    return cubes;
}

void CubeImage::Render(double localTime, RenderTexturePair* target) {
    if (m_imageWatcher && m_imageWatcher->GetHasChanged()) Build(m_imageWatcher->GetFileName());
    if (!m_renderer) return;

    const float start =
        HasParam("start") ? static_cast<float>(GetParam("start")->GetAsDouble(localTime)) : 0.0f;
    const float end = HasParam("end") ? static_cast<float>(GetParam("end")->GetAsDouble(localTime)) : 1.0f;
    const Vec3 position = HasParam("position") ? GetParam("position")->GetAsVec3(localTime) : Vec3{};
    const Vec3 light = GetParam("lightDirection")->GetAsVec3(localTime);
    m_renderer->SetLightDirection(light.x, light.y, light.z);
    m_renderer->TakeCamera();
    m_renderer->Draw(Matrix::Translation(position.x, position.y, position.z), target, start, end);
}

}  // namespace Effects
