// Fuzz target for reading the script: any bytes parsed as XML, its "effect" trees built through the
// factory (every effect type of the show, and a probe type that reads its parameters), its "param"
// elements read wherever they stand, and every parameter evaluated at ordinary and absurd times. The
// show's effects load and render for real: on a headless device, with the bundled data mounted, so
// that their shaders, pictures and tables are there to be named.
#include <physfs.h>
#include <pugixml.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "effects/effect.h"
#include "effects/effectFactory.h"
#include "graphics/dynamicTexture.h"
#include "main/device.h"
#include "system/params.h"

namespace {

const double kTimes[] = {-1.0,
                         0.0,
                         0.5,
                         1.0,
                         2.5,
                         100.0,
                         -std::numeric_limits<double>::infinity(),
                         std::numeric_limits<double>::infinity(),
                         std::numeric_limits<double>::quiet_NaN()};

// Reads a parameter with the accessor of its type (and once with a wrong one) at a time.
double Touch(const ParamVariant* param, double time) {
    double sum = 0.0;
    switch (param->GetType()) {
        case ParamType::None:
            sum += param->GetAsInt();
            break;
        case ParamType::String:
            sum += static_cast<double>(param->GetAsString().size());
            break;
        case ParamType::Int:
            sum += param->GetAsInt();
            break;
        case ParamType::Double:
            sum += param->GetAsDouble(time);
            break;
        case ParamType::Vec2:
            sum += param->GetAsVec2(time).y;
            break;
        case ParamType::Vec3:
            sum += param->GetAsVec3(time).z;
            break;
        case ParamType::Vec4:
            sum += param->GetAsVec4(time).w + param->GetAsDouble(time);
            break;
    }
    return sum;
}

class Probe : public Effects::Effect {
public:
    bool Load(const pugi::xml_node& node) override {
        if (!Effect::Load(node)) return false;
        for (const pugi::xml_node param : node.children("param"))
            m_keys.emplace_back(param.attribute("key").value());
        m_keys.emplace_back("absent");
        return true;
    }
    void Render(double localTime, RenderTexturePair*) override {
        for (const std::string& key : m_keys) {
            if (HasParam(key)) m_sink += Touch(GetParam(key), localTime);
        }
        m_sink += Touch(GetParam(m_keys.back()), localTime);
    }

private:
    std::vector<std::string> m_keys;
    double m_sink = 0.0;
};

void ReadParams(const pugi::xml_node& node, int depth) {
    if (depth > 64) return;
    Params params;
    params.Load(node);
    for (const pugi::xml_node param : node.children("param")) {
        for (double time : kTimes) Touch(params.Get(param.attribute("key").value()), time);
    }
    for (const pugi::xml_node child : node.children()) ReadParams(child, depth + 1);
}

// What the program has when the script loads: the data, the device with its shared objects, and
// the pair of render textures every effect draws into. Made once per process. Without a device the
// effects still load and run as far as they can, which is what the target fuzzes then.
struct Show {
    std::unique_ptr<RenderTexturePair> pair;

    Show() {
        // The log would print every complaint of every run: the run is quiet unless asked to talk.
        // Only the stream is replaced; the sanitizers report on the file descriptor itself.
        if (!std::getenv("VANTRISK_FUZZ_LOG")) {
            if (std::FILE* quiet = std::fopen("/dev/null", "w")) stderr = quiet;
        }
        // No write directory: no log file to grow with every run.
        PHYSFS_init(nullptr);
        PHYSFS_mount(VANTRISK_SOURCE_DIR "/data", "/", 1);
        if (InitialiseD3D()) pair = std::make_unique<RenderTexturePair>(800.0f, 600.0f);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const Effects::ScopedEffectType probe("Probe",
                                                 [] { return std::unique_ptr<Effects::Effect>(new Probe); });
    static const Show show;

    pugi::xml_document document;
    // A document that fails to parse keeps the part read before the error; reading that part
    // reaches the tree readers far more often than well-formed mutations would.
    document.load_buffer(data, size);

    ReadParams(document, 0);

    std::vector<std::unique_ptr<Effects::Effect>> effects;
    Effects::Effect::LoadEffects(document, effects);
    for (const pugi::xml_node top : document.children()) Effects::Effect::LoadEffects(top, effects);
    for (double time : kTimes) {
        for (const auto& effect : effects) effect->Update(time, show.pair.get());
    }
    return 0;
}
