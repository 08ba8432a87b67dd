#include "system/params.h"

#include <pugixml.hpp>

#include <cassert>
#include <utility>

#include "system/log.h"

// Sections:
//   Easing curves     - the ten named curves and the bounce shape they share
//   Track evaluation  - value of a keyframe track at a time
//   ParamVariant      - constructors and typed accessors
//   Params            - lookups and reading "param" elements

// ---------------------------------------------------------------------------------------------
// Easing curves
// ---------------------------------------------------------------------------------------------
namespace {

// The rebounds dip by the fixed depth D rather than by the end level, so with a low end level they
// reach far below it; the show's timing was authored against exactly this shape.
double BounceCurve(double x, double endLevel) {
    constexpr double kDepth = 1.70158;
    if (x == 1.0) return endLevel;
    if (x < 0.36363636363636365) return x * x * 7.5625 * endLevel;
    double r;
    if (x < 0.7272727272727273) {
        const double u = x - 0.5454545454545454;
        r = u * u * 7.5625 + 0.75;
    } else if (x < 0.9090909090909091) {
        const double u = x - 0.8181818181818182;
        r = u * u * 7.5625 + 0.9375;
    } else {
        const double u = x - 0.9545454545454546;
        r = u * u * 7.5625 + 0.984375;
    }
    return endLevel - (1.0 - r) * kDepth;
}

double Snap(double) {
    return 0.0;
}
double Linear(double x) {
    return x;
}
double QuadraticIn(double x) {
    return x * x;
}
double QuadraticOut(double x) {
    return -((x - 2.0) * x);
}

double QuadraticInOut(double x) {
    const double a = 2.0 * x;
    if (a < 1.0) return 0.5 * a * a;
    const double u = a - 1.0;
    return -0.5 * ((u - 2.0) * u - 1.0);
}

double QuadraticOutIn(double x) {
    const double a = 2.0 * x;
    if (x < 0.5) return -0.5 * (a - 2.0) * a;
    const double u = a - 1.0;
    return 0.5 - 0.5 * (u - 2.0) * u;
}

double BounceIn(double x) {
    return 1.0 - BounceCurve(1.0 - x, 1.0);
}
double BounceOut(double x) {
    return BounceCurve(x, 1.0);
}

double BounceInOut(double x) {
    if (x < 0.5) return 0.5 * (1.0 - BounceCurve(1.0 - 2.0 * x, 1.0));
    if (x == 1.0) return 1.0;
    return 0.5 + 0.5 * BounceCurve(2.0 * x - 1.0, 1.0);
}

double BounceOutIn(double x) {
    if (x < 0.5) return BounceCurve(2.0 * x, 0.5);
    return 1.0 - BounceCurve(2.0 - 2.0 * x, 0.5);
}

struct NamedEase {
    std::string_view name;
    EaseFunction function;
};

constexpr NamedEase kEaseFunctions[] = {
    {"Snap", Snap},
    {"Linear", Linear},
    {"QuadraticIn", QuadraticIn},
    {"QuadraticOut", QuadraticOut},
    {"QuadraticInOut", QuadraticInOut},
    {"QuadraticOutIn", QuadraticOutIn},
    {"BounceIn", BounceIn},
    {"BounceOut", BounceOut},
    {"BounceInOut", BounceInOut},
    {"BounceOutIn", BounceOutIn},
};

// ---------------------------------------------------------------------------------------------
// Track evaluation
// ---------------------------------------------------------------------------------------------

double Blend(double from, double to, double weight) {
    return from + (to - from) * weight;
}

// Vectors go to shaders as floats, so they blend in float with the weight rounded once.
float BlendComponent(float from, float to, float weight) {
    return from + (to - from) * weight;
}
Vec2 Blend(Vec2 a, Vec2 b, double weight) {
    const float w = static_cast<float>(weight);
    return {BlendComponent(a.x, b.x, w), BlendComponent(a.y, b.y, w)};
}
Vec3 Blend(Vec3 a, Vec3 b, double weight) {
    const float w = static_cast<float>(weight);
    return {BlendComponent(a.x, b.x, w), BlendComponent(a.y, b.y, w), BlendComponent(a.z, b.z, w)};
}
Vec4 Blend(Vec4 a, Vec4 b, double weight) {
    const float w = static_cast<float>(weight);
    return {BlendComponent(a.x, b.x, w), BlendComponent(a.y, b.y, w), BlendComponent(a.z, b.z, w),
            BlendComponent(a.w, b.w, w)};
}

// Tracks keep the script's order and are never sorted: the value comes from the last-listed
// keyframe whose time is not after t, moving towards the keyframe listed right after it.
template <typename T>
T Evaluate(const std::vector<Keyframe<T>>& track, double t) {
    if (track.empty()) return T{};
    if (track.size() == 1) return track.front().value;
    size_t index = track.size();
    while (index > 0 && !(t >= track[index - 1].time)) --index;
    if (index == 0) return track.front().value;  // before every keyframe, or t is not a number
    const Keyframe<T>& from = track[index - 1];
    const Keyframe<T>& to = index < track.size() ? track[index] : from;
    const double duration = to.time - from.time;
    if (duration == 0.0) return from.value;
    const double fraction = (t - from.time) / duration;
    // Only infinite keyframe times give a fraction that is not a number; hold the segment's start.
    if (fraction != fraction) return from.value;
    return Blend(from.value, to.value, from.ease(fraction));
}

bool CheckType(ParamType actual, ParamType wanted, const char* function) {
    if (actual == wanted) return true;
    VLOG(function, "Accessing param as the wrong type");
    return false;
}

// ---------------------------------------------------------------------------------------------
// Reading "param" elements
// ---------------------------------------------------------------------------------------------

float ReadFloat(const pugi::xml_node& node, const char* name) {
    return static_cast<float>(node.attribute(name).as_double(0.0));
}

template <typename T>
T ReadValue(const pugi::xml_node& node);
template <>
double ReadValue<double>(const pugi::xml_node& node) {
    return node.attribute("value").as_double(0.0);
}
template <>
Vec2 ReadValue<Vec2>(const pugi::xml_node& node) {
    return {ReadFloat(node, "x"), ReadFloat(node, "y")};
}
template <>
Vec3 ReadValue<Vec3>(const pugi::xml_node& node) {
    return {ReadFloat(node, "x"), ReadFloat(node, "y"), ReadFloat(node, "z")};
}
template <>
Vec4 ReadValue<Vec4>(const pugi::xml_node& node) {
    return {ReadFloat(node, "x"), ReadFloat(node, "y"), ReadFloat(node, "z"), ReadFloat(node, "w")};
}

// A parameter without "key" children is a constant: one keyframe that holds its value forever.
template <typename T>
std::unique_ptr<ParamVariant> ReadTrack(const pugi::xml_node& param) {
    std::vector<Keyframe<T>> track;
    for (const pugi::xml_node key : param.children("key")) {
        const pugi::xml_attribute ease = key.attribute("ease");
        track.push_back({key.attribute("time").as_double(0.0),
                         Params::GetEaseFunction(ease ? ease.value() : "Linear"), ReadValue<T>(key)});
    }
    if (track.empty()) track.push_back({0.0, Snap, ReadValue<T>(param)});
    return std::make_unique<ParamVariant>(std::move(track));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// ParamVariant
// ---------------------------------------------------------------------------------------------

ParamVariant::ParamVariant(std::string value) : m_type(ParamType::String), m_string(std::move(value)) {}
ParamVariant::ParamVariant(int value) : m_type(ParamType::Int), m_int(value) {}
ParamVariant::ParamVariant(std::vector<Keyframe<Vec2>> track)
    : m_type(ParamType::Vec2), m_vec2(std::move(track)) {
    assert(!m_vec2.empty());
}
ParamVariant::ParamVariant(std::vector<Keyframe<Vec3>> track)
    : m_type(ParamType::Vec3), m_vec3(std::move(track)) {
    assert(!m_vec3.empty());
}
ParamVariant::ParamVariant(std::vector<Keyframe<Vec4>> track)
    : m_type(ParamType::Vec4), m_vec4(std::move(track)) {
    assert(!m_vec4.empty());
}
ParamVariant::ParamVariant(std::vector<Keyframe<double>> track)
    : m_type(ParamType::Double), m_double(std::move(track)) {
    assert(!m_double.empty());
}

int ParamVariant::GetAsInt() const {
    return CheckType(m_type, ParamType::Int, "ParamVariant::GetAsInt") ? m_int : 0;
}

std::string ParamVariant::GetAsString() const {
    return CheckType(m_type, ParamType::String, "ParamVariant::GetAsString") ? m_string : std::string();
}

double ParamVariant::GetAsDouble(double time) const {
    return CheckType(m_type, ParamType::Double, "ParamVariant::GetAsDouble") ? Evaluate(m_double, time) : 0.0;
}

Vec2 ParamVariant::GetAsVec2(double time) const {
    return CheckType(m_type, ParamType::Vec2, "ParamVariant::GetAsVec2") ? Evaluate(m_vec2, time) : Vec2{};
}

Vec3 ParamVariant::GetAsVec3(double time) const {
    return CheckType(m_type, ParamType::Vec3, "ParamVariant::GetAsVec3") ? Evaluate(m_vec3, time) : Vec3{};
}

Vec4 ParamVariant::GetAsVec4(double time) const {
    return CheckType(m_type, ParamType::Vec4, "ParamVariant::GetAsVec4") ? Evaluate(m_vec4, time) : Vec4{};
}

// ---------------------------------------------------------------------------------------------
// Params
// ---------------------------------------------------------------------------------------------

Params::Params() {
    m_params.emplace("", std::make_unique<ParamVariant>());
}

bool Params::Load(const pugi::xml_node& element) {
    for (const pugi::xml_node param : element.children("param")) {
        const std::string_view type = param.attribute("type").value();
        std::unique_ptr<ParamVariant> variant;
        if (type == "vec2") {
            variant = ReadTrack<Vec2>(param);
        } else if (type == "vec3") {
            variant = ReadTrack<Vec3>(param);
        } else if (type == "vec4") {
            variant = ReadTrack<Vec4>(param);
        } else if (type == "string") {
            variant = std::make_unique<ParamVariant>(std::string(param.attribute("value").value()));
        } else if (type == "int") {
            variant = std::make_unique<ParamVariant>(param.attribute("value").as_int(0));
        } else if (type == "double") {
            variant = ReadTrack<double>(param);
        } else {
            VLOG("Params::Load", "Unknown param type '%s'", param.attribute("type").value());
            return false;
        }
        // A later element of the same name replaces the earlier one.
        m_params.insert_or_assign(std::string(param.attribute("key").value()), std::move(variant));
    }
    return true;
}

const ParamVariant* Params::Get(std::string_view name) const {
    const auto found = m_params.find(name);
    if (found != m_params.end()) return found->second.get();
    VLOG("Params::Get", "Couldn't find param '%.*s'", static_cast<int>(name.size()), name.data());
    return m_params.find(std::string_view())->second.get();
}

bool Params::Has(std::string_view name) const {
    return m_params.find(name) != m_params.end();
}

EaseFunction Params::GetEaseFunction(std::string_view name) {
    for (const NamedEase& ease : kEaseFunctions) {
        if (ease.name == name) return ease.function;
    }
    VLOG("Params::GetEaseFunction", "Unknown ease function '%.*s', defaulting to Snap",
         static_cast<int>(name.size()), name.data());
    return Snap;
}
