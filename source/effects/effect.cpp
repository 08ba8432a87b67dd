#include "effects/effect.h"

#include <pugixml.hpp>

#include "effects/effectFactory.h"
#include "system/log.h"

namespace Effects {

bool Effect::Load(const pugi::xml_node& node) {
    // Children first: a failing child fails this effect before its own parameters are read.
    if (!LoadEffects(node, m_children)) return false;
    if (!m_params.Load(node)) return false;
    m_start = node.attribute("start").as_double(0.0);
    m_length = node.attribute("length").as_double(99999.0);
    m_speed = node.attribute("speed").as_double(1.0);
    return true;
}

// Written as an "inside" test so that a window or a time that is not a number counts as outside,
// rather than as active with a local time that is not a number.
bool Effect::IsActive(double time) const {
    return time >= m_start && time <= m_start + m_length;
}

void Effect::Update(double time, RenderTexturePair* target) {
    if (!IsActive(time)) return;
    const double localTime = LocalTime(time);
    Render(localTime, target);
    for (const auto& child : m_children) child->Update(localTime, target);
}

namespace {
// Loading, updating and destroying recurse once per level of the tree; a script nested absurdly
// deep must fail to load instead of overflowing the stack.
constexpr int kMaxDepth = 256;
int g_loadDepth = 0;

struct DepthGuard {
    DepthGuard() { ++g_loadDepth; }
    ~DepthGuard() { --g_loadDepth; }
};
}  // namespace

bool Effect::LoadEffects(const pugi::xml_node& node, std::vector<std::unique_ptr<Effect>>& list) {
    const DepthGuard depth;
    for (const pugi::xml_node element : node.children("effect")) {
        if (g_loadDepth > kMaxDepth) {
            VLOG("Effects::Effect::LoadEffects", "Effects nested more than %d deep", kMaxDepth);
            return false;
        }
        const char* type = element.attribute("type").value();
        const EffectCreator create = FindEffectCreator(type);
        if (!create) {
            VLOG("Effects::Effect::LoadEffects", "Unknown effect type '%s'", type);
            return false;
        }
        std::unique_ptr<Effect> effect = create();
        effect->m_type = type;
        if (!effect->Load(element)) {
            VLOG("Effects::Effect::LoadEffects", "Failed to load effect '%s'", type);
            return false;
        }
        list.push_back(std::move(effect));
    }
    return true;
}

}  // namespace Effects
