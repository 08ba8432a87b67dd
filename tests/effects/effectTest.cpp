#include "effects/effect.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <limits>
#include <string>
#include <vector>

#include "effects/effectFactory.h"
#include "support/logCapture.h"

namespace {

using Effects::Effect;
using Effects::ScopedEffectType;
using TestSupport::LogCapture;
using TestSupport::LogLine;

// Probe effects registered for these tests: "Probe" records every Render with its "id" attribute
// and local time; "Failing" loads like any effect and then reports failure.
std::vector<std::string> g_renders;
int g_liveProbes = 0;

class Probe : public Effect {
public:
    Probe() { ++g_liveProbes; }
    ~Probe() override { --g_liveProbes; }
    bool Load(const pugi::xml_node& node) override {
        if (!Effect::Load(node)) return false;
        m_id = node.attribute("id").value();
        return true;
    }
    void Render(double localTime, RenderTexturePair*) override {
        // A negative speed at the window's start gives -0, which is the same local time as 0.
        g_renders.push_back(m_id + "@" + std::to_string(localTime == 0.0 ? 0.0 : localTime));
    }

private:
    std::string m_id;
};

class Failing : public Probe {
public:
    bool Load(const pugi::xml_node& node) override { return Probe::Load(node) && false; }
};

class EffectTree : public testing::Test {
protected:
    EffectTree() { g_renders.clear(); }
    ~EffectTree() override {
        effects.clear();
        EXPECT_EQ(g_liveProbes, 0);
    }

    bool Load(const std::string& xml) {
        EXPECT_TRUE(document.load_string(xml.c_str())) << xml;
        return Effect::LoadEffects(document.child("demo"), effects);
    }
    std::vector<std::string> RendersAt(double time) {
        g_renders.clear();
        for (const auto& effect : effects) effect->Update(time, nullptr);
        return g_renders;
    }

    ScopedEffectType probeType{"Probe", [] { return std::unique_ptr<Effect>(new Probe); }};
    ScopedEffectType failingType{"Failing", [] { return std::unique_ptr<Effect>(new Failing); }};
    pugi::xml_document document;
    std::vector<std::unique_ptr<Effect>> effects;
};

using Renders = std::vector<std::string>;
std::string At(const char* id, double localTime) {
    return std::string(id) + "@" + std::to_string(localTime);
}

TEST_F(EffectTree, DefaultWindowRunsFromZeroForLongAtSpeedOne) {
    ASSERT_TRUE(Load(R"(<demo><effect type="Probe" id="a"/></demo>)"));
    EXPECT_EQ(effects[0]->GetStart(), 0.0);
    EXPECT_EQ(effects[0]->GetLength(), 99999.0);
    EXPECT_EQ(effects[0]->GetSpeed(), 1.0);
    EXPECT_EQ(RendersAt(-0.001), Renders{});
    EXPECT_EQ(RendersAt(0), Renders{At("a", 0)});
    EXPECT_EQ(RendersAt(99999), Renders{At("a", 99999)});
    EXPECT_EQ(RendersAt(99999.001), Renders{});
}

TEST_F(EffectTree, WindowIsClosedAtBothEnds) {
    ASSERT_TRUE(Load(R"(<demo><effect type="Probe" id="a" start="2" length="3"/></demo>)"));
    EXPECT_EQ(RendersAt(1.999), Renders{});
    EXPECT_EQ(RendersAt(2), Renders{At("a", 0)});
    EXPECT_EQ(RendersAt(5), Renders{At("a", 3)});
    EXPECT_EQ(RendersAt(5.0001), Renders{});
    EXPECT_EQ(RendersAt(std::numeric_limits<double>::quiet_NaN()), Renders{});
}

TEST_F(EffectTree, SpeedScalesLocalTimeIncludingZeroAndNegative) {
    ASSERT_TRUE(Load(R"(<demo><effect type="Probe" id="still" start="1" speed="0"/>
        <effect type="Probe" id="back" start="1" speed="-2"/><effect type="Probe" id="half" start="1" speed="0.5"/>
        </demo>)"));
    EXPECT_EQ(RendersAt(1), (Renders{At("still", 0), At("back", 0), At("half", 0)}));
    EXPECT_EQ(RendersAt(4), (Renders{At("still", 0), At("back", -6), At("half", 1.5)}));
}

TEST_F(EffectTree, NumbersAreReadLikeStrtod) {
    ASSERT_TRUE(Load(R"(<demo><effect type="Probe" start=" 1.5e1s" length="abc" speed=""/></demo>)"));
    EXPECT_EQ(effects[0]->GetStart(), 15.0);
    EXPECT_EQ(effects[0]->GetLength(), 0.0);
    EXPECT_EQ(effects[0]->GetSpeed(), 0.0);
}

TEST_F(EffectTree, ChildrenRunOnTheParentsClockAfterTheParentDraws) {
    ASSERT_TRUE(Load(R"(<demo><effect type="Probe" id="parent" start="10" speed="2">
        <effect type="Probe" id="child" start="2"/><effect type="Probe" id="sibling"/></effect></demo>)"));
    EXPECT_EQ(RendersAt(10.9), (Renders{At("parent", 1.8), At("sibling", 1.8)}));
    EXPECT_EQ(RendersAt(11), (Renders{At("parent", 2), At("child", 0), At("sibling", 2)}));
}

TEST_F(EffectTree, ParentOutsideItsWindowUpdatesNoChild) {
    ASSERT_TRUE(Load(R"(<demo><effect type="Probe" id="parent" start="5" length="1">
        <effect type="Probe" id="child" start="-100"/></effect></demo>)"));
    EXPECT_EQ(RendersAt(4), Renders{});
    EXPECT_EQ(RendersAt(7), Renders{});
    EXPECT_EQ(RendersAt(5), (Renders{At("parent", 0), At("child", 100)}));
}

TEST_F(EffectTree, ParametersComeFromTheEffectsOwnParamChildren) {
    ASSERT_TRUE(Load(R"(<demo><effect type="Probe"><param key="amount" type="double" value="2"/>
        <effect type="Probe"><param key="inner" type="int" value="3"/></effect></effect></demo>)"));
    {
        LogCapture log;
        EXPECT_TRUE(effects[0]->HasParam("amount"));
        EXPECT_FALSE(effects[0]->HasParam("inner"));
        EXPECT_EQ(effects[0]->GetParam("amount")->GetAsDouble(0), 2.0);
        EXPECT_EQ(effects[0]->GetChildren()[0]->GetParam("inner")->GetAsInt(), 3);
        EXPECT_TRUE(log.Lines().empty());
    }
    LogCapture log;
    EXPECT_EQ(effects[0]->GetParam("inner")->GetType(), ParamType::None);
    EXPECT_EQ(log.Texts(), std::vector<std::string>{"Couldn't find param 'inner'"});
}

TEST_F(EffectTree, UnknownTypeStopsAtItAndKeepsEarlierSiblings) {
    LogCapture log;
    EXPECT_FALSE(Load(R"(<demo><effect type="Probe" id="a"/><effect type="probe" id="b"/>
        <effect type="Probe" id="c"/></demo>)"));
    ASSERT_EQ(effects.size(), 1u);
    EXPECT_EQ(RendersAt(0), Renders{At("a", 0)});
    EXPECT_EQ(g_liveProbes, 1);
    EXPECT_EQ(log.Lines(),
              (std::vector<LogLine>{{"Effects::Effect::LoadEffects", "Unknown effect type 'probe'"}}));
}

TEST_F(EffectTree, MissingTypeIsUnknown) {
    LogCapture log;
    EXPECT_FALSE(Load(R"(<demo><effect/></demo>)"));
    EXPECT_EQ(log.Texts(), std::vector<std::string>{"Unknown effect type ''"});
}

TEST_F(EffectTree, NestedFailureIsReportedByEveryEnclosingEffect) {
    LogCapture log;
    EXPECT_FALSE(Load(R"(<demo><effect type="Probe" id="a"/>
        <effect type="Failing" id="outer"><effect type="Probe" id="middle"><effect type="Unknown"/></effect>
            <param key="x" type="bogus"/></effect>
        <effect type="Probe" id="late"/></demo>)"));
    ASSERT_EQ(effects.size(), 1u);
    EXPECT_EQ(g_liveProbes, 1);
    // The outer effect's own bad parameter is never read: its children fail first.
    EXPECT_EQ(log.Lines(),
              (std::vector<LogLine>{{"Effects::Effect::LoadEffects", "Unknown effect type 'Unknown'"},
                                    {"Effects::Effect::LoadEffects", "Failed to load effect 'Probe'"},
                                    {"Effects::Effect::LoadEffects", "Failed to load effect 'Failing'"}}));
}

TEST_F(EffectTree, FailingLoadAndBadParameterEachFailTheirEffect) {
    LogCapture log;
    EXPECT_FALSE(Load(R"(<demo><effect type="Probe" id="a"><effect type="Failing"/>
                         <effect type="Probe" id="skipped"/></effect></demo>)"));
    EXPECT_FALSE(Load(R"(<demo><effect type="Probe"><param key="x" type="Vec2"/></effect></demo>)"));
    EXPECT_TRUE(effects.empty());
    EXPECT_EQ(g_liveProbes, 0);
    EXPECT_EQ(log.Texts(),
              (std::vector<std::string>{"Failed to load effect 'Failing'", "Failed to load effect 'Probe'",
                                        "Unknown param type 'Vec2'", "Failed to load effect 'Probe'"}));
}

std::string Nested(int depth) {
    std::string xml = "<demo>";
    for (int i = 0; i < depth; ++i) xml += "<effect type=\"Probe\">";
    for (int i = 0; i < depth; ++i) xml += "</effect>";
    return xml + "</demo>";
}

TEST_F(EffectTree, AbsurdlyDeepNestingFailsInsteadOfOverflowingTheStack) {
    EXPECT_TRUE(Load(Nested(256)));
    effects.clear();
    LogCapture log;
    EXPECT_FALSE(Load(Nested(100000)));
    EXPECT_TRUE(effects.empty());
    const auto& lines = log.Lines();
    ASSERT_EQ(lines.size(), 257u);
    EXPECT_EQ(lines.front().text, "Effects nested more than 256 deep");
    EXPECT_EQ(lines.back().text, "Failed to load effect 'Probe'");
}

TEST(EffectFactory, TypeNamesAreExactAndCaseSensitive) {
    LogCapture log;
    for (const char* type : {"blur", "BLUR", "cls", "camerascene", "Blur ", " CLS", "Effect"}) {
        pugi::xml_document document;
        document.append_child("demo").append_child("effect").append_attribute("type") = type;
        std::vector<std::unique_ptr<Effect>> effects;
        EXPECT_FALSE(Effect::LoadEffects(document.child("demo"), effects)) << type;
        EXPECT_TRUE(effects.empty());
    }
    EXPECT_EQ(log.Lines().size(), 7u);
}

TEST(EffectFactory, ScopedTypeIsKnownOnlyWhileItLives) {
    {
        ScopedEffectType probe("ScopedProbe", [] { return std::unique_ptr<Effect>(new Probe); });
        EXPECT_NE(Effects::FindEffectCreator("ScopedProbe"), nullptr);
    }
    EXPECT_EQ(Effects::FindEffectCreator("ScopedProbe"), nullptr);
}

}  // namespace
