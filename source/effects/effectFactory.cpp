#include "effects/effectFactory.h"

#include <algorithm>
#include <cassert>
#include <utility>
#include <vector>

// One include per effect class in the table below.
#include "effects/blur.h"
#include "effects/cameraScene.h"
#include "effects/cls.h"
#include "effects/cubeCluster.h"
#include "effects/cubeCube.h"
#include "effects/cubeImage.h"
#include "effects/cubePhysics.h"
#include "effects/cubeSpiral.h"
#include "effects/cubeTest.h"
#include "effects/cubeTorus.h"
#include "effects/fullScreenShader.h"
#include "effects/fullScreenShaderEffect.h"
#include "effects/hsl.h"
#include "effects/lut3D.h"
#include "effects/renderTarget.h"
#include "effects/rgbSplit.h"
#include "effects/shapeSphere.h"
#include "effects/shapeTest.h"
#include "effects/textWriter.h"

namespace Effects {

namespace {

template <typename T>
std::unique_ptr<Effect> Create() {
    return std::make_unique<T>();
}

struct FactoryEntry {
    std::string_view type;
    EffectCreator create;
};

// The script's type names, one row per effect class, e.g. {"Blur", &Create<Blur>}.
const std::vector<FactoryEntry>& Table() {
    static const std::vector<FactoryEntry> table = {
        {"Blur", &Create<Blur>},
        {"CameraScene", &Create<CameraScene>},
        {"CLS", &Create<CLS>},
        {"CubeCluster", &Create<CubeCluster>},
        {"CubeCube", &Create<CubeCube>},
        {"CubeImage", &Create<CubeImage>},
        {"CubePhysics", &Create<CubePhysics>},
        {"CubeSpiral", &Create<CubeSpiral>},
        {"CubeTest", &Create<CubeTest>},
        {"CubeTorus", &Create<CubeTorus>},
        {"FullScreenShader", &Create<FullScreenShader>},
        {"FullScreenShaderEffect", &Create<FullScreenShaderEffect>},
        {"HSL", &Create<HSL>},
        {"Lut3D", &Create<Lut3D>},
        {"RenderTarget", &Create<RenderTarget>},
        {"RGBSplit", &Create<RGBSplit>},
        {"ShapeSphere", &Create<ShapeSphere>},
        {"ShapeTest", &Create<ShapeTest>},
        {"TextWriter", &Create<TextWriter>},
    };
    return table;
}

std::vector<std::pair<std::string, EffectCreator>>& ScopedTypes() {
    static std::vector<std::pair<std::string, EffectCreator>> types;
    return types;
}

}  // namespace

EffectCreator FindEffectCreator(std::string_view type) {
    for (const FactoryEntry& entry : Table()) {
        if (entry.type == type) return entry.create;
    }
    for (const auto& [name, create] : ScopedTypes()) {
        if (name == type) return create;
    }
    return nullptr;
}

ScopedEffectType::ScopedEffectType(std::string type, EffectCreator create) : m_type(std::move(type)) {
    assert(create && !FindEffectCreator(m_type));
    ScopedTypes().emplace_back(m_type, create);
}

ScopedEffectType::~ScopedEffectType() {
    auto& types = ScopedTypes();
    types.erase(
        std::find_if(types.begin(), types.end(), [&](const auto& entry) { return entry.first == m_type; }));
}

}  // namespace Effects
