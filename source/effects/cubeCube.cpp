#include "effects/cubeCube.h"

#include "effects/cubeImageFile.h"
#include "effects/cubeRandom.h"
#include "system/fileWatcher.h"

namespace Effects {

namespace {

constexpr const char* kCreateCubes = "Effects::CubeCube::CreateCubes";
constexpr float kHalfPi = 1.5707964f;

}  // namespace

CubeCube::CubeCube() = default;
CubeCube::~CubeCube() = default;

bool CubeCube::Load(const pugi::xml_node& node) {
    if (!Effect::Load(node)) return false;
    return Build(GetParam("image")->GetAsString());
}

bool CubeCube::Build(const std::string& imageName) {
    auto value = [&](const char* name, double fallback) {
        return HasParam(name) ? GetParam(name)->GetAsDouble(0.0) : fallback;
    };
    if (!CreateCubes(imageName, value("unlitStrength", 0.7), value("min", 0.0), value("max", 1.0),
                     value("variation", 0.5))) {
        return false;
    }
    m_renderer->SetLightDirection(0.0f, -1.0f, -0.2f);
    return true;
}

bool CubeCube::CreateCubes(const std::string& imageName, double unlitStrength, double min, double max,
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
        BuildRelief(picture, static_cast<float>(unlitStrength), static_cast<float>(min),
                    static_cast<float>(max), static_cast<float>(variation));
    m_renderer = std::make_unique<CubeRenderer>(static_cast<uint32_t>(cubes.size()), false);
    m_renderer->SetInstances(cubes.data(), static_cast<uint32_t>(cubes.size()));
    return true;
}

std::vector<CubeInstance> CubeCube::BuildRelief(const Image::Picture& picture, float unlitStrength, float min,
                                                float max, float variation) {
    std::vector<CubeInstance> cubes;
    CubeRandom random(0);
    const uint8_t* pixel = picture.rgba.data();
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x, pixel += 4) {
            const float r = pixel[0] / 255.0f, g = pixel[1] / 255.0f, b = pixel[2] / 255.0f;
            // Exact black is the background: no column, and no random number is drawn for it.
            if (r == 0.0f && g == 0.0f && b == 0.0f) continue;
            const float chance = random.Next();
            const float luminance = 0.222f * r + 0.707f * g + 0.071f * b;
            const float h = min + luminance * max + chance * variation;
            const Matrix world =
                Matrix::Scaling(1.1f, h, 1.1f) *
                Matrix::Translation(static_cast<float>(x) - static_cast<float>(picture.width) * 0.5f,
                                    h * 0.5f,
                                    static_cast<float>(y) - static_cast<float>(picture.height) * 0.5f);
            CubeInstance cube;
            cube.world = world.Transposed();
            cube.colourLit = {r, g, b, 1.0f};
            cube.colourUnlit = {r * unlitStrength, g * unlitStrength, b * unlitStrength, 1.0f};
            cube.colourSpecular = {r, g, b, luminance * 50.0f + 30.0f};
            cubes.push_back(cube);
        }
    }
    return cubes;
}

void CubeCube::Render(double localTime, RenderTexturePair* target) {
    if (m_imageWatcher && m_imageWatcher->GetHasChanged()) Build(m_imageWatcher->GetFileName());
    if (!m_renderer) return;

    const float offset =
        HasParam("offset") ? static_cast<float>(GetParam("offset")->GetAsDouble(localTime)) : 0.0f;
    const Vec3 rotation = HasParam("rotation") ? GetParam("rotation")->GetAsVec3(localTime) : Vec3{};
    m_renderer->TakeCamera();

    const Matrix t = Matrix::Translation(0.0f, offset, 0.0f);
    const Matrix r = Matrix::RotationDegrees(rotation);
    const Matrix rx = Matrix::RotationX(kHalfPi);
    const Matrix rz = Matrix::RotationZ(kHalfPi);
    // The relief grows along +Y; these turn it to face +Y, +Z, -Y, -Z, -X and +X in turn.
    const Matrix faces[6] = {t * r,      t * rx * r,          t * rx * rx * r, t * rx * rx * rx * r,
                             t * rz * r, t * rz * rz * rz * r};
    for (const Matrix& face : faces) m_renderer->Draw(face, target, 0.0f, 1.0f);
}

}  // namespace Effects
