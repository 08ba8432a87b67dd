// The show's effect tree as the overlay draws it: one row per effect, in script order and nested as in
// the script, with the window in which it is active on the show clock and whether it is active now.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace Effects {
class Effect;
}

namespace Overlay {

/// One effect of the tree.
struct TimelineRow {
    int depth = 0;           ///< 0 for a top-level effect, 1 for its children, ...
    std::string type;        ///< the script's type name
    std::string resource;    ///< the shader, picture or table it names ("" when none)
    bool everActive = true;  ///< false when no show time reaches it (a frozen or empty window)
    double begin = 0.0;      ///< first show time at which it is active
    double end = 0.0;        ///< last show time at which it is active
    bool active = false;     ///< active at the time the rows were marked for
};

class TimelineModel {
public:
    /// Rows for every effect under `effects`, depth first in script order, with their windows on the
    /// show clock; none marked active.
    void Build(const std::vector<std::unique_ptr<Effects::Effect>>& effects);
    /// Marks exactly the effects that draw at `showTime`, walking the tree as the frame does.
    void MarkActive(const std::vector<std::unique_ptr<Effects::Effect>>& effects, double showTime);
    /// The rows of the last Build.
    const std::vector<TimelineRow>& Rows() const { return m_rows; }
    /// How many rows are marked active.
    int ActiveCount() const;

private:
    std::vector<TimelineRow> m_rows;
};

}  // namespace Overlay
