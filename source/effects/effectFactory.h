// The factory that maps the script's effect type names to effect classes.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "effects/effect.h"

namespace Effects {

/// Constructs an empty, unloaded effect of one class.
using EffectCreator = std::unique_ptr<Effect> (*)();

/// The constructor for a script type name (exact and case-sensitive), or null for an unknown type.
EffectCreator FindEffectCreator(std::string_view type);

/// Makes one more type name known to the factory while the object lives; for probe effects in tests
/// and fuzzing, never for the show's own classes, which belong in the factory's table.
class ScopedEffectType {
public:
    ScopedEffectType(std::string type, EffectCreator create);
    ~ScopedEffectType();
    ScopedEffectType(const ScopedEffectType&) = delete;
    ScopedEffectType& operator=(const ScopedEffectType&) = delete;

private:
    std::string m_type;
};

}  // namespace Effects
