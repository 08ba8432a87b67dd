#include "system/params.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "support/logCapture.h"

namespace {

using TestSupport::LogCapture;
using TestSupport::LogLine;

// Loads the "param" children of a wrapping element written in the script's format.
struct Loaded {
    pugi::xml_document document;
    Params params;
    bool ok = false;
};

std::unique_ptr<Loaded> LoadParams(const std::string& children) {
    auto loaded = std::make_unique<Loaded>();
    const std::string xml = "<effect>" + children + "</effect>";
    EXPECT_TRUE(loaded->document.load_string(xml.c_str())) << xml;
    loaded->ok = loaded->params.Load(loaded->document.child("effect"));
    return loaded;
}

double Ease(const char* name, double x) {
    return Params::GetEaseFunction(name)(x);
}

// ---------------------------------------------------------------------------------------------
// Easing curves

TEST(EaseFunction, MatchesTheReferenceTableToSixPlaces) {
    struct Row {
        double x, quadraticInOut, quadraticOutIn, bounceIn, bounceOut, bounceInOut, bounceOutIn;
    };
    const Row rows[] = {
        {0.1, 0.02, 0.18, 0.020206, 0.075625, 0.051047, 0.15125},
        {0.25, 0.125, 0.375, 0.046528, 0.472656, 0.199404, 0.101192},
        {0.5, 0.5, 0.5, 0.398808, 0.601192, 0.5, 0.5},
        {0.75, 0.875, 0.875, 0.527344, 0.953472, 0.800596, 0.898808},
        {0.9, 0.98, 0.98, 0.924375, 0.979794, 0.948953, 0.84875},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.x);
        EXPECT_NEAR(Ease("QuadraticInOut", row.x), row.quadraticInOut, 5e-7);
        EXPECT_NEAR(Ease("QuadraticOutIn", row.x), row.quadraticOutIn, 5e-7);
        EXPECT_NEAR(Ease("BounceIn", row.x), row.bounceIn, 5e-7);
        EXPECT_NEAR(Ease("BounceOut", row.x), row.bounceOut, 5e-7);
        EXPECT_NEAR(Ease("BounceInOut", row.x), row.bounceInOut, 5e-7);
        EXPECT_NEAR(Ease("BounceOutIn", row.x), row.bounceOutIn, 5e-7);
    }
}

TEST(EaseFunction, SimpleCurvesFollowTheirFormulas) {
    for (double x : {0.1, 0.3, 0.7, 0.95}) {
        EXPECT_EQ(Ease("Snap", x), 0.0);
        EXPECT_EQ(Ease("Linear", x), x);
        EXPECT_EQ(Ease("QuadraticIn", x), x * x);
        EXPECT_EQ(Ease("QuadraticOut", x), -((x - 2.0) * x));
    }
}

TEST(EaseFunction, EveryCurveStartsAtZero) {
    for (const char* name : {"Snap", "Linear", "QuadraticIn", "QuadraticOut", "QuadraticInOut",
                             "QuadraticOutIn", "BounceIn", "BounceOut", "BounceInOut", "BounceOutIn"}) {
        EXPECT_EQ(Ease(name, 0.0), 0.0) << name;
    }
}

TEST(EaseFunction, BounceReboundsDipByTheFixedDepth) {
    // The first rebound's lowest point lies at the centre of its segment, 1.5 / 2.75.
    EXPECT_NEAR(Ease("BounceOut", 0.5454545454545454), 0.574605, 5e-7);
    EXPECT_NEAR(Ease("BounceOutIn", 0.5454545454545454 / 2), 0.074605, 5e-7);
    EXPECT_EQ(Ease("BounceOut", 1.0), 1.0);
    EXPECT_EQ(Ease("BounceInOut", 1.0), 1.0);
}

TEST(EaseFunction, UnknownNamesAndOtherLetterCaseSnapWithAMessage) {
    LogCapture log;
    EXPECT_EQ(Params::GetEaseFunction("linear"), Params::GetEaseFunction("Snap"));
    EXPECT_EQ(Params::GetEaseFunction(""), Params::GetEaseFunction("Snap"));
    EXPECT_NE(Params::GetEaseFunction("Linear"), Params::GetEaseFunction("Snap"));
    EXPECT_EQ(log.Lines(),
              (std::vector<LogLine>{
                  {"Params::GetEaseFunction", "Unknown ease function 'linear', defaulting to Snap"},
                  {"Params::GetEaseFunction", "Unknown ease function '', defaulting to Snap"}}));
}

// ---------------------------------------------------------------------------------------------
// Tracks

TEST(Track, LinearSegmentHoldsItsEndsOutsideItself) {
    auto loaded = LoadParams(R"(<param key="v" type="double"><key time="0" value="0" ease="Linear"/>
                                <key time="2" value="10"/></param>)");
    const ParamVariant* v = loaded->params.Get("v");
    EXPECT_EQ(v->GetAsDouble(-1), 0.0);
    EXPECT_EQ(v->GetAsDouble(0), 0.0);
    EXPECT_EQ(v->GetAsDouble(1), 5.0);
    EXPECT_EQ(v->GetAsDouble(2), 10.0);
    EXPECT_EQ(v->GetAsDouble(5), 10.0);
    EXPECT_EQ(v->GetAsDouble(std::numeric_limits<double>::quiet_NaN()), 0.0);
    EXPECT_EQ(v->GetAsDouble(std::numeric_limits<double>::infinity()), 10.0);
}

TEST(Track, SnapHoldsUntilTheNextKeyframe) {
    auto loaded = LoadParams(R"(<param key="v" type="double"><key time="0" value="0" ease="Snap"/>
                                <key time="2" value="10"/></param>)");
    const ParamVariant* v = loaded->params.Get("v");
    EXPECT_EQ(v->GetAsDouble(0), 0.0);
    EXPECT_EQ(v->GetAsDouble(1.999), 0.0);
    EXPECT_EQ(v->GetAsDouble(2), 10.0);
    EXPECT_EQ(v->GetAsDouble(3), 10.0);
}

TEST(Track, KeyframesListedOutOfOrderAreScannedFromTheEnd) {
    auto loaded = LoadParams(R"(<param key="v" type="double"><key time="2" value="20"/>
                                <key time="1" value="10"/></param>)");
    const ParamVariant* v = loaded->params.Get("v");
    EXPECT_EQ(v->GetAsDouble(1.5), 10.0);
    EXPECT_EQ(v->GetAsDouble(0.5), 20.0);
    EXPECT_EQ(v->GetAsDouble(2.5), 10.0);
}

TEST(Track, EqualTimesLetTheLastListedStartTheSegment) {
    auto loaded = LoadParams(R"(<param key="v" type="double"><key time="1" value="3"/>
                                <key time="1" value="7"/><key time="2" value="9"/></param>)");
    const ParamVariant* v = loaded->params.Get("v");
    EXPECT_EQ(v->GetAsDouble(1), 7.0);
    EXPECT_EQ(v->GetAsDouble(1.5), 8.0);
    EXPECT_EQ(v->GetAsDouble(0.5), 3.0);
}

TEST(Track, InfiniteKeyframeTimesNeverYieldNotANumber) {
    auto loaded = LoadParams(R"(<param key="v" type="double"><key time="-inf" value="3"/>
                                <key time="1" value="7"/></param>)");
    const double value = loaded->params.Get("v")->GetAsDouble(0);
    EXPECT_EQ(value, 3.0);
}

TEST(Track, VectorsBlendInSinglePrecision) {
    // At a third of the segment the weight rounds to a float; computed in double and rounded once
    // the result would differ in the last place.
    auto loaded = LoadParams(R"(<param key="v" type="vec4"><key time="0" x="3" y="0.1" z="7" w="1"/>
                                <key time="3" x="100" y="10" z="0.7" w="1"/></param>)");
    const Vec4 v = loaded->params.Get("v")->GetAsVec4(1);
    const float w = static_cast<float>(1.0 / 3.0);
    EXPECT_EQ(v.x, 3.0f + (100.0f - 3.0f) * w);
    EXPECT_NE(v.x, static_cast<float>(3.0 + 97.0 / 3.0));
    EXPECT_EQ(v.y, 0.1f + (10.0f - 0.1f) * w);
    EXPECT_EQ(v.z, 7.0f + (0.7f - 7.0f) * w);
    EXPECT_EQ(v.w, 1.0f);
}

TEST(Track, EaseShapesTheSegmentAndTheLastKeyframesEaseIsUnused) {
    auto loaded = LoadParams(R"(<param key="v" type="vec2"><key time="0" x="0" y="0" ease="QuadraticOut"/>
                                <key time="4" x="10" y="2" ease="nonsense"/></param>)");
    const ParamVariant* v = loaded->params.Get("v");
    const float w = static_cast<float>(-((0.5 - 2.0) * 0.5));
    EXPECT_EQ(v->GetAsVec2(2).x, 10.0f * w);
    EXPECT_EQ(v->GetAsVec2(2).y, 2.0f * w);
    EXPECT_EQ(v->GetAsVec2(9).x, 10.0f);
}

// ---------------------------------------------------------------------------------------------
// Reading parameters

TEST(Params, ConstantsBecomeOneKeyframeTracks) {
    LogCapture log;
    auto loaded = LoadParams(R"(<param key="strength" type="double" value="0.5"/>
        <param key="colour" type="vec4" x="1" y="0.5" z="0" w="1"/>
        <param key="origin" type="vec3"/>
        <param key="size" type="vec2" x=" 2.5e1px" y="abc"/>
        <param key="name" type="string" value=" a b "/>
        <other key="ignored" type="double" value="1"/>)");
    ASSERT_TRUE(loaded->ok);
    const Params& params = loaded->params;
    for (double t : {-100.0, 0.0, 3.0, 1e9}) {
        EXPECT_EQ(params.Get("strength")->GetAsDouble(t), 0.5);
        const Vec4 colour = params.Get("colour")->GetAsVec4(t);
        EXPECT_EQ((std::vector<float>{colour.x, colour.y, colour.z, colour.w}),
                  (std::vector<float>{1, 0.5f, 0, 1}));
        const Vec3 origin = params.Get("origin")->GetAsVec3(t);
        EXPECT_EQ((std::vector<float>{origin.x, origin.y, origin.z}), (std::vector<float>{0, 0, 0}));
        EXPECT_EQ(params.Get("size")->GetAsVec2(t).x, 25.0f);  // leading space skipped, trailing text ignored
        EXPECT_EQ(params.Get("size")->GetAsVec2(t).y, 0.0f);
    }
    EXPECT_EQ(params.Get("name")->GetAsString(), " a b ");
    EXPECT_EQ(params.Get("name")->GetType(), ParamType::String);
    EXPECT_FALSE(params.Has("ignored"));
    EXPECT_TRUE(log.Lines().empty());
}

TEST(Params, KeyframesOverrideTheParamsOwnValue) {
    auto loaded = LoadParams(R"(<param key="v" type="double" value="99"><key time="0" value="1"/></param>
        <param key="n" type="int" value="4"><key time="0" value="1"/></param>
        <param key="s" type="string" value="x"><key time="0" value="1"/></param>)");
    EXPECT_EQ(loaded->params.Get("v")->GetAsDouble(5), 1.0);
    EXPECT_EQ(loaded->params.Get("n")->GetAsInt(), 4);
    EXPECT_EQ(loaded->params.Get("s")->GetAsString(), "x");
}

TEST(Params, IntegersAcceptHexadecimalAndDefaultToZero) {
    auto loaded =
        LoadParams(R"(<param key="a" type="int" value="0x1F"/><param key="b" type="int" value="0X10"/>
        <param key="c" type="int" value="-12"/><param key="d" type="int"/><param key="e" type="int" value="7.9"/>)");
    EXPECT_EQ(loaded->params.Get("a")->GetAsInt(), 31);
    EXPECT_EQ(loaded->params.Get("b")->GetAsInt(), 16);
    EXPECT_EQ(loaded->params.Get("c")->GetAsInt(), -12);
    EXPECT_EQ(loaded->params.Get("d")->GetAsInt(), 0);
    EXPECT_EQ(loaded->params.Get("e")->GetAsInt(), 7);
}

TEST(Params, LaterDuplicateReplacesEarlier) {
    auto loaded =
        LoadParams(R"(<param key="v" type="double" value="1"/><param key="v" type="string" value="two"/>)");
    EXPECT_EQ(loaded->params.Get("v")->GetType(), ParamType::String);
    EXPECT_EQ(loaded->params.Get("v")->GetAsString(), "two");
}

TEST(Params, TypeNamesAreCaseSensitiveAndStopTheLoad) {
    LogCapture log;
    auto loaded =
        LoadParams(R"(<param key="a" type="double" value="1"/><param key="b" type="Double" value="2"/>
        <param key="c" type="double" value="3"/>)");
    EXPECT_FALSE(loaded->ok);
    EXPECT_TRUE(loaded->params.Has("a"));
    EXPECT_FALSE(loaded->params.Has("b"));
    EXPECT_FALSE(loaded->params.Has("c"));
    EXPECT_EQ(log.Lines(), (std::vector<LogLine>{{"Params::Load", "Unknown param type 'Double'"}}));
}

TEST(Params, MissingTypeIsUnknown) {
    LogCapture log;
    EXPECT_FALSE(LoadParams(R"(<param key="a" value="1"/>)")->ok);
    EXPECT_EQ(log.Texts(), std::vector<std::string>{"Unknown param type ''"});
}

TEST(Params, UnknownEaseSnapsAndLoadingGoesOn) {
    LogCapture log;
    auto loaded = LoadParams(R"(<param key="v" type="double"><key time="0" value="0" ease="linear"/>
                                <key time="2" value="10" ease=""/></param><param key="w" type="int" value="1"/>)");
    EXPECT_TRUE(loaded->ok);
    EXPECT_EQ(loaded->params.Get("v")->GetAsDouble(1.9), 0.0);
    EXPECT_EQ(loaded->params.Get("w")->GetAsInt(), 1);
    EXPECT_EQ(log.Texts(), (std::vector<std::string>{"Unknown ease function 'linear', defaulting to Snap",
                                                     "Unknown ease function '', defaulting to Snap"}));
}

TEST(Params, MissingLookupLogsAndFallsBackToTheEmptyValue) {
    Params params;
    LogCapture log;
    EXPECT_FALSE(params.Has("speed"));
    EXPECT_EQ(params.Get("speed")->GetAsDouble(1), 0.0);
    EXPECT_EQ(log.Lines(),
              (std::vector<LogLine>{{"Params::Get", "Couldn't find param 'speed'"},
                                    {"ParamVariant::GetAsDouble", "Accessing param as the wrong type"}}));
}

TEST(Params, ParamWithoutKeyReplacesTheFallback) {
    auto loaded = LoadParams(R"(<param type="double" value="4"/>)");
    LogCapture log;
    EXPECT_EQ(loaded->params.Get("anything")->GetAsDouble(0), 4.0);
    EXPECT_EQ(log.Texts(), std::vector<std::string>{"Couldn't find param 'anything'"});
}

TEST(Params, WrongAccessorsLogAndYieldZero) {
    auto loaded =
        LoadParams(R"(<param key="d" type="double" value="2.5"/><param key="n" type="int" value="3"/>)");
    LogCapture log;
    const ParamVariant* d = loaded->params.Get("d");
    const Vec4 v = d->GetAsVec4(0);
    EXPECT_EQ((std::vector<float>{v.x, v.y, v.z, v.w}), (std::vector<float>{0, 0, 0, 0}));
    EXPECT_EQ(d->GetAsInt(), 0);
    EXPECT_EQ(d->GetAsString(), "");
    EXPECT_EQ(d->GetAsVec2(0).x, 0.0f);
    EXPECT_EQ(d->GetAsVec3(0).x, 0.0f);
    EXPECT_EQ(loaded->params.Get("n")->GetAsDouble(0), 0.0);
    const std::string wrong = "Accessing param as the wrong type";
    EXPECT_EQ(log.Lines(), (std::vector<LogLine>{{"ParamVariant::GetAsVec4", wrong},
                                                 {"ParamVariant::GetAsInt", wrong},
                                                 {"ParamVariant::GetAsString", wrong},
                                                 {"ParamVariant::GetAsVec2", wrong},
                                                 {"ParamVariant::GetAsVec3", wrong},
                                                 {"ParamVariant::GetAsDouble", wrong}}));
}

}  // namespace
