// The timeline model against scripts with nested clocks and speeds: each effect's window on the show
// clock, and the active marks, which must be exactly the effects a frame draws at that time.
#include "overlay/timelineModel.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <cmath>
#include <string>
#include <vector>

#include "effects/effect.h"
#include "effects/effectFactory.h"

namespace {

using Effects::Effect;
using Overlay::TimelineModel;
using Overlay::TimelineRow;

// Records which probes drew, by their "id", so that the marks can be held against a real frame.
std::vector<std::string> g_drawn;

class Probe : public Effect {
public:
    bool Load(const pugi::xml_node& node) override {
        m_id = node.attribute("id").value();
        return Effect::Load(node);
    }
    void Render(double, RenderTexturePair*) override { g_drawn.push_back(m_id); }

private:
    std::string m_id;
};

class OverlayTimeline : public testing::Test {
protected:
    void Load(const std::string& effectsXml) {
        ASSERT_TRUE(m_document.load_string(("<demo>" + effectsXml + "</demo>").c_str()));
        ASSERT_TRUE(Effect::LoadEffects(m_document.child("demo"), m_effects));
        m_ids.clear();
        for (const pugi::xpath_node& node : m_document.select_nodes("//effect"))
            m_ids.push_back(node.node().attribute("id").value());
        m_model.Build(m_effects);
    }
    // The ids the model marks active at `time`, in script order.
    std::vector<std::string> Marked(double time) {
        m_model.MarkActive(m_effects, time);
        std::vector<std::string> ids;
        for (size_t i = 0; i < m_model.Rows().size(); ++i) {
            if (m_model.Rows()[i].active) ids.push_back(m_ids[i]);
        }
        return ids;
    }
    // The ids a frame at `time` draws, in script order (parents draw before their children).
    std::vector<std::string> Drawn(double time) {
        g_drawn.clear();
        for (const auto& effect : m_effects) effect->Update(time, nullptr);
        return g_drawn;
    }
    const TimelineRow& Row(const std::string& id) {
        for (size_t i = 0; i < m_ids.size(); ++i) {
            if (m_ids[i] == id) return m_model.Rows()[i];
        }
        ADD_FAILURE() << "no row " << id;
        return m_model.Rows().front();
    }

    Effects::ScopedEffectType m_probe{"Probe", [] { return std::unique_ptr<Effect>(new Probe); }};
    pugi::xml_document m_document;
    std::vector<std::unique_ptr<Effect>> m_effects;
    std::vector<std::string> m_ids;
    TimelineModel m_model;
};

// Parents at speeds 2, 0.5, 0 and -1, each with children, one grandchild under a doubled clock.
const char kNested[] = R"(
<effect type="Probe" id="top" start="10" length="20" speed="2">
  <effect type="Probe" id="child" start="2" length="4">
    <effect type="Probe" id="grandchild" start="1" length="1" speed="3"/>
  </effect>
  <effect type="Probe" id="late" start="30" length="100"/>
</effect>
<effect type="Probe" id="slow" start="0" length="8" speed="0.5">
  <effect type="Probe" id="slowChild" start="1" length="2"/>
</effect>
<effect type="Probe" id="frozen" start="40" length="5" speed="0">
  <effect type="Probe" id="frozenSeen" start="-1" length="2"/>
  <effect type="Probe" id="frozenNever" start="1" length="2"/>
</effect>
<effect type="Probe" id="backwards" start="50" length="10" speed="-1">
  <effect type="Probe" id="backChild" start="-4" length="2"/>
</effect>
)";

TEST_F(OverlayTimeline, RowsFollowTheScriptWithDepthAndType) {
    Load(kNested);
    ASSERT_EQ(m_model.Rows().size(), m_ids.size());
    const std::vector<int> depths{0, 1, 2, 1, 0, 1, 0, 1, 1, 0, 1};
    for (size_t i = 0; i < depths.size(); ++i) {
        EXPECT_EQ(m_model.Rows()[i].depth, depths[i]) << m_ids[i];
        EXPECT_EQ(m_model.Rows()[i].type, "Probe");
        EXPECT_EQ(m_model.Rows()[i].resource, "");
    }
}

TEST_F(OverlayTimeline, WindowsAreMappedThroughEachParentsClock) {
    Load(kNested);
    struct Case {
        const char* id;
        bool ever;
        double begin, end;
    };
    // A child with start 2 inside a parent starting at 10 at speed 2 starts at show time 11; the
    // parent's own window cuts whatever lies beyond it.
    const Case cases[] = {
        {"top", true, 10, 30},       {"child", true, 11, 13},      {"grandchild", true, 11.5, 12},
        {"late", true, 25, 30},      {"slow", true, 0, 8},         {"slowChild", true, 2, 6},
        {"frozen", true, 40, 45},    {"frozenSeen", true, 40, 45}, {"frozenNever", false, 0, 0},
        {"backwards", true, 50, 60}, {"backChild", true, 52, 54},
    };
    for (const Case& c : cases) {
        const TimelineRow& row = Row(c.id);
        EXPECT_EQ(row.everActive, c.ever) << c.id;
        if (!c.ever) continue;
        EXPECT_NEAR(row.begin, c.begin, 1e-9) << c.id;
        EXPECT_NEAR(row.end, c.end, 1e-9) << c.id;
    }
}

TEST_F(OverlayTimeline, MarksExactlyWhatAFrameDraws) {
    Load(kNested);
    // Window edges, both sides of them, and times in between.
    std::vector<double> times{-1, 0,     2,  6,  8,  8.0001, 10, 11, 11.5, 11.6, 13, 13.01, 25,
                              30, 30.01, 40, 42, 45, 50,     52, 53, 54,   54.5, 60, 61};
    for (double t = -2.0; t < 64.0; t += 0.37) times.push_back(t);
    for (const double time : times) {
        EXPECT_EQ(Marked(time), Drawn(time)) << "at show time " << time;
        // Away from the edges, a mark agrees with the row's window.
        for (size_t i = 0; i < m_ids.size(); ++i) {
            const TimelineRow& row = m_model.Rows()[i];
            if (!row.everActive) {
                EXPECT_FALSE(row.active) << m_ids[i];
                continue;
            }
            if (std::fabs(time - row.begin) < 1e-6 || std::fabs(time - row.end) < 1e-6) continue;
            EXPECT_EQ(row.active, time > row.begin && time < row.end) << m_ids[i] << " at " << time;
        }
    }
    m_model.MarkActive(m_effects, 11.6);
    EXPECT_EQ(m_model.ActiveCount(), 3);
}

TEST_F(OverlayTimeline, NamesTheFileAnEffectDrawsWith) {
    Load(R"(<effect type="Probe" id="a"><param key="shader" type="string" value="plasma.fx"/></effect>
            <effect type="Probe" id="b"><param key="image" type="string" value="logo.png"/></effect>
            <effect type="Probe" id="c"><param key="shader" type="double" value="2"/></effect>)");
    EXPECT_EQ(Row("a").resource, "plasma.fx");
    EXPECT_EQ(Row("b").resource, "logo.png");
    EXPECT_EQ(Row("c").resource, "");
}

TEST_F(OverlayTimeline, EmptyShowHasNoRows) {
    Load("");
    EXPECT_TRUE(m_model.Rows().empty());
    m_model.MarkActive(m_effects, 3.0);
    EXPECT_EQ(m_model.ActiveCount(), 0);
}

}  // namespace
