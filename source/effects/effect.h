// The abstract effect of the show's timeline: a time window on its parent's clock, a playback
// speed, keyframed parameters and child effects that run on its local clock.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "system/params.h"

namespace pugi {
class xml_node;
}

class RenderTexturePair;

namespace Effects {

class Effect {
public:
    Effect() = default;
    virtual ~Effect() = default;
    Effect(const Effect&) = delete;
    Effect& operator=(const Effect&) = delete;

    /// Builds the child effects, then reads the parameters and the window; false if any part fails.
    virtual bool Load(const pugi::xml_node& node);
    /// While `time` lies in the window: renders at the local time, then updates the children with it.
    virtual void Update(double time, RenderTexturePair* target);
    /// Draws the effect at its local time into the target's current texture.
    virtual void Render(double localTime, RenderTexturePair* target) = 0;

    /// Whether the effect has a parameter of exactly that name; never logs.
    bool HasParam(std::string_view name) const { return m_params.Has(name); }
    /// The parameter of that name, or (after a message) the empty value.
    const ParamVariant* GetParam(std::string_view name) const { return m_params.Get(name); }

    /// Builds, loads and appends one effect per "effect" child of `node`, stopping at the first
    /// failure (earlier ones stay in `list`); true if all of them loaded.
    static bool LoadEffects(const pugi::xml_node& node, std::vector<std::unique_ptr<Effect>>& list);

    /// Begin of the window on the parent's clock.
    double GetStart() const { return m_start; }
    /// Length of the window.
    double GetLength() const { return m_length; }
    /// Factor from the parent's time to the local time.
    double GetSpeed() const { return m_speed; }
    /// The script's type name of the effect ("Blur"); empty for one not built from a script.
    const std::string& GetType() const { return m_type; }
    /// The child effects, in script order.
    const std::vector<std::unique_ptr<Effect>>& GetChildren() const { return m_children; }

protected:
    /// Whether `time` lies in the window, both ends included.
    bool IsActive(double time) const;
    /// The local time of the effect at `time` on its parent's clock.
    double LocalTime(double time) const { return (time - m_start) * m_speed; }

    std::vector<std::unique_ptr<Effect>> m_children;
    double m_start = 0.0;
    double m_length = 99999.0;
    double m_speed = 1.0;
    Params m_params;

private:
    std::string m_type;
};

}  // namespace Effects
