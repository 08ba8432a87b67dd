// Where the show check draws each effect: at the start of the effect and of every effect below it,
// told on the clock of the top-level effect's parent through each level's own start and speed.
#include "main/check.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <memory>
#include <vector>

#include "effects/effect.h"

namespace {

struct StartCase {
    const char* name;
    const char* script;
    std::vector<double> expected;
};

void PrintTo(const StartCase& c, std::ostream* out) {
    *out << c.name;
}

class CheckStartTimes : public testing::TestWithParam<StartCase> {};

TEST_P(CheckStartTimes, ReachEveryEffectAtItsStart) {
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(GetParam().script));
    std::vector<std::unique_ptr<Effects::Effect>> effects;
    ASSERT_TRUE(Effects::Effect::LoadEffects(document.child("demo"), effects));
    ASSERT_EQ(effects.size(), 1u);
    EXPECT_EQ(StartTimes(*effects[0]), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Trees, CheckStartTimes,
    testing::Values(
        StartCase{"Alone", R"(<demo><effect type="CLS" start="3"/></demo>)", {3}},
        StartCase{"ChildrenInOrderWithoutRepeats",
                  R"(<demo><effect type="CLS" start="10"><effect type="CLS" start="4"/>
                     <effect type="CLS" start="0"/><effect type="CLS" start="4"/></effect></demo>)",
                  {10, 14}},
        // Twice as fast: four local units pass in two of the parent's; nested speeds multiply.
        StartCase{"SpeedScalesEachLevel",
                  R"(<demo><effect type="CLS" start="8" speed="2"><effect type="CLS" start="4" speed="4">
                     <effect type="CLS" start="8"/></effect></effect></demo>)",
                  {8, 10, 11}},
        // A frozen clock never reaches a later start; its first moment still shows what starts there.
        StartCase{"FrozenClock",
                  R"(<demo><effect type="CLS" start="5" speed="0"><effect type="CLS" start="0"/>
                     <effect type="CLS" start="2"/></effect></demo>)",
                  {5}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
