// Cost of reading parameters the way effects do: by name, every frame, at the local time, with no
// caching. Figures: one lookup with evaluation, track evaluation by track length, and one whole
// frame of a timeline of 50 effects reading 8 parameters each.
#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <memory>
#include <string>
#include <vector>

#include "effects/effect.h"
#include "effects/effectFactory.h"
#include "system/params.h"

namespace {

// A parameter set shaped like a typical effect's: constants, short tracks and a longer one.
const char* kEffectParams = R"(<effect type="Reader" start="0" length="1000">
  <param key="strength" type="double" value="0.5"/>
  <param key="colour" type="vec4" x="1" y="0.5" z="0" w="1"/>
  <param key="count" type="int" value="64"/>
  <param key="texture" type="string" value="images/noise.png"/>
  <param key="offset" type="vec2"><key time="0" x="0" y="0" ease="QuadraticOut"/><key time="4" x="10" y="2"/></param>
  <param key="position" type="vec3"><key time="0" ease="BounceOut"/><key time="8" x="1" y="2" z="3" ease="Linear"/>
    <key time="16" x="-1" y="0" z="2" ease="QuadraticInOut"/><key time="32" x="0" y="0" z="0"/></param>
  <param key="rotation" type="vec4"><key time="0"/><key time="10" x="1"/><key time="20" y="1"/>
    <key time="30" z="1"/><key time="40" w="1"/><key time="50"/><key time="60" x="2"/><key time="70"/></param>
  <param key="fade" type="double"><key time="0" value="0"/><key time="2" value="1" ease="Snap"/>
    <key time="60" value="1"/><key time="64" value="0"/></param>
</effect>)";

float ReadAll(const Params& params, double t) {
    float sum = static_cast<float>(params.Get("strength")->GetAsDouble(t));
    sum += params.Get("colour")->GetAsVec4(t).y;
    sum += static_cast<float>(params.Get("count")->GetAsInt());
    sum += static_cast<float>(params.Get("texture")->GetAsString().size());
    sum += params.Get("offset")->GetAsVec2(t).x;
    sum += params.Get("position")->GetAsVec3(t).z;
    sum += params.Get("rotation")->GetAsVec4(t).w;
    sum += static_cast<float>(params.Get("fade")->GetAsDouble(t));
    return sum;
}

void BM_EightLookupsOfOneEffect(benchmark::State& state) {
    pugi::xml_document document;
    document.load_string(kEffectParams);
    Params params;
    params.Load(document.child("effect"));
    double t = 0.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReadAll(params, t));
        t += 1.0 / 60.0;
        if (t > 80.0) t = 0.0;
    }
    state.SetItemsProcessed(state.iterations() * 8);
}
BENCHMARK(BM_EightLookupsOfOneEffect);

void BM_DoubleTrackEvaluation(benchmark::State& state) {
    const int keyframes = static_cast<int>(state.range(0));
    std::vector<Keyframe<double>> track;
    for (int i = 0; i < keyframes; ++i)
        track.push_back({i * 1.0, Params::GetEaseFunction("QuadraticInOut"), i * 0.5});
    const ParamVariant variant(std::move(track));
    double t = 0.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(variant.GetAsDouble(t));
        t += 0.37;
        if (t > keyframes) t = 0.0;
    }
}
BENCHMARK(BM_DoubleTrackEvaluation)->Arg(1)->Arg(2)->Arg(8)->Arg(64);

class Reader : public Effects::Effect {
public:
    void Render(double localTime, RenderTexturePair*) override { m_sum += ReadAll(m_params, localTime); }
    float m_sum = 0.0f;
};

void BM_FrameOfFiftyEffects(benchmark::State& state) {
    const Effects::ScopedEffectType reader("Reader",
                                           [] { return std::unique_ptr<Effects::Effect>(new Reader); });
    std::string script = "<demo>";
    for (int i = 0; i < 50; ++i) script += kEffectParams;
    script += "</demo>";
    pugi::xml_document document;
    document.load_string(script.c_str());
    std::vector<std::unique_ptr<Effects::Effect>> effects;
    if (!Effects::Effect::LoadEffects(document.child("demo"), effects)) state.SkipWithError("script failed");
    double showTime = 0.0;
    for (auto _ : state) {
        for (const auto& effect : effects) effect->Update(showTime, nullptr);
        showTime += 1.0 / 60.0;
        if (showTime > 80.0) showTime = 0.0;
    }
    state.SetItemsProcessed(state.iterations() * 50 * 8);
}
BENCHMARK(BM_FrameOfFiftyEffects);

}  // namespace

BENCHMARK_MAIN();
