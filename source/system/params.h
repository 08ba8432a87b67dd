// Typed, keyframed effect parameters: the value types, keyframe tracks and their evaluation at a
// time, the easing curves named in the script, and the per-effect parameter set read from "param"
// elements.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pugi {
class xml_node;
}

struct Vec2 {
    float x = 0, y = 0;
};
struct Vec3 {
    float x = 0, y = 0, z = 0;
};
struct Vec4 {
    float x = 0, y = 0, z = 0, w = 0;
};

/// Maps the fraction of a track segment, in [0, 1), to the blend weight between its keyframes.
using EaseFunction = double (*)(double);

/// One point of a track: from `time` on, the value moves towards the next keyframe along `ease`.
template <typename T>
struct Keyframe {
    double time = 0.0;
    EaseFunction ease = nullptr;
    T value{};
};

/// Type tag of a parameter; the numbers are fixed.
enum class ParamType : int { None = 0, String = 1, Vec2 = 2, Vec3 = 3, Vec4 = 4, Int = 5, Double = 6 };

/// One parameter's value: a string, an integer, or a keyframe track of vectors or doubles.
class ParamVariant {
public:
    /// The empty value that failed lookups return.
    ParamVariant() = default;
    explicit ParamVariant(std::string value);
    explicit ParamVariant(int value);
    /// Track constructors; a track holds at least one keyframe.
    explicit ParamVariant(std::vector<Keyframe<Vec2>> track);
    explicit ParamVariant(std::vector<Keyframe<Vec3>> track);
    explicit ParamVariant(std::vector<Keyframe<Vec4>> track);
    explicit ParamVariant(std::vector<Keyframe<double>> track);

    ParamType GetType() const { return m_type; }

    /// The integer of an Int parameter (0 and a message for another type).
    int GetAsInt() const;
    /// The text of a String parameter (empty and a message for another type).
    std::string GetAsString() const;
    /// The value of a Double track at `time` (0 and a message for another type).
    double GetAsDouble(double time) const;
    /// The value of a Vec2 track at `time` (zeros and a message for another type).
    Vec2 GetAsVec2(double time) const;
    /// The value of a Vec3 track at `time` (zeros and a message for another type).
    Vec3 GetAsVec3(double time) const;
    /// The value of a Vec4 track at `time` (zeros and a message for another type).
    Vec4 GetAsVec4(double time) const;

private:
    ParamType m_type = ParamType::None;
    std::string m_string;
    int m_int = 0;
    std::vector<Keyframe<Vec2>> m_vec2;
    std::vector<Keyframe<Vec3>> m_vec3;
    std::vector<Keyframe<Vec4>> m_vec4;
    std::vector<Keyframe<double>> m_double;
};

/// An effect's named parameters, read once from the script and looked up every frame.
class Params {
public:
    /// A set holding only the fallback entry: the empty name mapped to an empty value.
    Params();

    /// Reads the "param" children of `element`; false (after a message) at the first unknown type.
    bool Load(const pugi::xml_node& element);
    /// The parameter of that name, or (after a message) the one stored under the empty name.
    const ParamVariant* Get(std::string_view name) const;
    /// Whether a parameter of exactly that name exists; never logs.
    bool Has(std::string_view name) const;

    /// The easing curve of that script name, or (after a message) "Snap".
    static EaseFunction GetEaseFunction(std::string_view name);

private:
    std::map<std::string, std::unique_ptr<ParamVariant>, std::less<>> m_params;
};
