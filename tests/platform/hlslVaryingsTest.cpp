// Values passed from the vertex to the pixel stage under semantics of the author's own naming (FOG,
// VIEWDIR, ...), drawn headless: each arrives as written, also when the pixel entry reads only some of
// them, in another order, or among the common semantics.
#include <gtest/gtest.h>

#include <array>
#include <set>

#include "platform/gpu/gpu.h"
#include "support/gpuFixture.h"

namespace {

using TestSupport::GpuTest;
using TestSupport::Image;
using TestSupport::PixelNear;

// Eight names, each carrying k/8 for k = 1 to 8, next to a TEXCOORD and a COLOR of known values.
const char* kSource = R"(
struct VSIn { float3 pos : POSITION; float2 uv : TEXCOORD0; float3 normal : NORMAL; };
struct VSOut {
    float4 pos : SV_Position;
    float fog : FOG;
    float2 uv : TEXCOORD0;
    float viewDir : VIEWDIR;
    float halfVector : HALFVECTOR;
    float4 colour : COLOR0;
    float lightDir : LIGHTDIR;
    float depth : DEPTHVALUE;
    float rim : RIM;
    float glow : GLOW3;
    float shade : SHADE;
};
VSOut VS(VSIn input) {
    VSOut o;
    o.pos = float4(input.pos.xy * 2.0, 0.5, 1.0);
    o.fog = 1.0 / 8; o.viewDir = 2.0 / 8; o.halfVector = 3.0 / 8; o.lightDir = 4.0 / 8;
    o.depth = 5.0 / 8; o.rim = 6.0 / 8; o.glow = 7.0 / 8; o.shade = 8.0 / 8;
    o.uv = float2(0.25, 0.75);
    o.colour = float4(0.5, 0.25, 0.125, 1);
    return o;
}
struct AllIn {
    float shade : SHADE;
    float glow : GLOW3;
    float rim : RIM;
    float depth : DEPTHVALUE;
    float lightDir : LIGHTDIR;
    float halfVector : HALFVECTOR;
    float viewDir : VIEWDIR;
    float fog : FOG;
};
float4 PS_FirstFour(AllIn i) : SV_Target { return float4(i.fog, i.viewDir, i.halfVector, i.lightDir); }
float4 PS_LastFour(AllIn i) : SV_Target { return float4(i.depth, i.rim, i.glow, i.shade); }
// Three of them, in another order, among common semantics.
struct SomeIn { float4 colour : COLOR0; float rim : RIM; float2 uv : TEXCOORD0; float fog : FOG; float glow : GLOW3; };
float4 PS_Some(SomeIn i) : SV_Target { return float4(i.rim, i.fog, i.glow, i.uv.y * i.colour.x); }
)";

class HlslVaryings : public GpuTest {
protected:
    Image Draw(const std::string& entry) {
        auto program = MakeProgram(kSource, entry);
        if (!BindQuad(program)) return {};
        auto target = MakeTarget(2, 2, {1, 0, 1, 1});
        BindTarget(target);
        Context().Draw(4, 0);
        return Read(target.texture);
    }
};

TEST_F(HlslVaryings, OwnNamedSemanticsArriveAsWrittenWhateverThePixelEntryReads) {
    struct Case {
        const char* entry;
        std::array<int, 4> expected;
    };
    const Case cases[] = {
        {"PS_FirstFour", {32, 64, 96, 128}},
        {"PS_LastFour", {159, 191, 223, 255}},
        {"PS_Some", {191, 32, 223, 96}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        const Image image = Draw(c.entry);
        ASSERT_EQ(image.width, 2u);
        EXPECT_TRUE(PixelNear(image, 0, 0, c.expected));
        EXPECT_TRUE(PixelNear(image, 1, 1, c.expected));
    }
}

TEST_F(HlslVaryings, OwnNamedSemanticsNeverShareALocationInOneStage) {
    const auto vertex = TestSupport::CompileHlsl(kSource, "VS", "vs_4_0");
    ASSERT_TRUE(vertex);
    std::set<uint32_t> locations;
    size_t named = 0;
    for (const auto& varying : vertex->varyings) {
        EXPECT_TRUE(locations.insert(varying.location).second) << varying.semantic << varying.index;
        named += varying.named;
    }
    EXPECT_EQ(named, 8u);
    // The common semantics keep their places.
    for (const auto& varying : vertex->varyings) {
        if (varying.semantic == "TEXCOORD") {
            EXPECT_EQ(varying.location, 0u);
        } else if (varying.semantic == "COLOR") {
            EXPECT_EQ(varying.location, 16u);
        }
    }
}

}  // namespace
