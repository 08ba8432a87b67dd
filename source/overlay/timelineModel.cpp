#include "overlay/timelineModel.h"

#include <algorithm>
#include <cmath>

#include "effects/effect.h"

namespace Overlay {

namespace {

// Parameters that name a file the effect draws with, in the order they are looked for.
constexpr const char* kResourceParams[] = {"shader", "image", "texture", "lutName", "heightmap"};

std::string ResourceOf(const Effects::Effect& effect) {
    for (const char* name : kResourceParams) {
        if (!effect.HasParam(name)) continue;
        const ParamVariant* value = effect.GetParam(name);
        if (value && value->GetType() == ParamType::String) return value->GetAsString();
    }
    return "";
}

// Where an effect's window lies on the show clock. A parent's local clock is either affine in show
// time (show time = origin + local * scale) or frozen at one value (a speed of 0 holds it at 0, and a
// frozen clock's children are frozen too); a child's window is mapped through it and cut by the span
// in which the parent itself is active.
struct Span {
    bool any = true;
    double begin = 0.0;
    double end = 0.0;
};

struct Clock {
    bool frozen = false;
    double value = 0.0;  // frozen: the local time throughout
    double origin = 0.0;
    double scale = 1.0;
};

void AddRows(const std::vector<std::unique_ptr<Effects::Effect>>& effects, int depth, const Span& parent,
             const Clock& clock, std::vector<TimelineRow>& rows) {
    for (const auto& effect : effects) {
        TimelineRow row;
        row.depth = depth;
        row.type = effect->GetType();
        row.resource = ResourceOf(*effect);
        const double start = effect->GetStart();
        const double stop = start + effect->GetLength();
        const double speed = effect->GetSpeed();
        Span span = parent;
        Clock local;
        if (clock.frozen) {
            span.any = parent.any && start <= clock.value && clock.value <= stop;
            local = {true, (clock.value - start) * speed, 0.0, 0.0};
        } else {
            double a = clock.origin + start * clock.scale;
            double b = clock.origin + stop * clock.scale;
            if (a > b) std::swap(a, b);
            span.begin = std::max(parent.begin, a);
            span.end = std::min(parent.end, b);
            span.any = parent.any && span.begin <= span.end;
            // local = (parent - start) * speed: one local unit lasts scale / speed show units.
            if (speed == 0.0)
                local = {true, 0.0, 0.0, 0.0};
            else
                local = {false, 0.0, clock.origin + start * clock.scale, clock.scale / speed};
        }
        row.everActive = span.any;
        row.begin = span.begin;
        row.end = span.end;
        rows.push_back(std::move(row));
        AddRows(effect->GetChildren(), depth + 1, span, local, rows);
    }
}

// Walks the tree as Effect::Update does and marks each row whose effect would draw.
void Mark(const std::vector<std::unique_ptr<Effects::Effect>>& effects, double time, bool parentActive,
          std::vector<TimelineRow>& rows, size_t& index) {
    for (const auto& effect : effects) {
        if (index >= rows.size()) return;
        const bool active =
            parentActive && time >= effect->GetStart() && time <= effect->GetStart() + effect->GetLength();
        rows[index++].active = active;
        const double local = (time - effect->GetStart()) * effect->GetSpeed();
        Mark(effect->GetChildren(), local, active, rows, index);
    }
}

}  // namespace

void TimelineModel::Build(const std::vector<std::unique_ptr<Effects::Effect>>& effects) {
    m_rows.clear();
    AddRows(effects, 0, Span{true, -INFINITY, INFINITY}, Clock{}, m_rows);
}

void TimelineModel::MarkActive(const std::vector<std::unique_ptr<Effects::Effect>>& effects,
                               double showTime) {
    size_t index = 0;
    Mark(effects, showTime, true, m_rows, index);
}

int TimelineModel::ActiveCount() const {
    return static_cast<int>(
        std::count_if(m_rows.begin(), m_rows.end(), [](const TimelineRow& row) { return row.active; }));
}

}  // namespace Overlay
