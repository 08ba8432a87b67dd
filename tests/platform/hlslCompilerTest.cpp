// The compile side of run-time HLSL: errors as text, includes, and what the GPU layer is told about
// semantics, registers and buffer packing. Rendering with the results is checked with the GPU layer.
#include "platform/hlsl/hlslCompiler.h"

#include <gtest/gtest.h>
#include <physfs.h>

#include <algorithm>
#include <map>
#include <regex>

#include "support/tempFolder.h"

namespace {

using Hlsl::Compile;
using Hlsl::CompileResult;
using Hlsl::CopyRange;

// Resolves include names from the root of the mounted data, as the program's include handler does.
struct DataRootResolver {
    std::vector<std::pair<std::string, std::string>> asked;  // requested, includer

    Hlsl::IncludeResolver Function() {
        return [this](const std::string& requested, const std::string& includer, std::string& contents) {
            asked.emplace_back(requested, includer);
            PHYSFS_File* file = PHYSFS_openRead(requested.c_str());
            if (!file) return false;
            contents.resize(static_cast<size_t>(PHYSFS_fileLength(file)));
            const auto read = PHYSFS_readBytes(file, contents.data(), contents.size());
            PHYSFS_close(file);
            return read == static_cast<PHYSFS_sint64>(contents.size());
        };
    }
};

const Hlsl::IncludeResolver kNoIncludes = [](const std::string&, const std::string&, std::string&) {
    return false;
};

CompileResult CompileVs(const std::string& source, const std::string& entry = "VS") {
    return Compile(source, "test.fx", kNoIncludes, entry, "vs_4_0");
}
CompileResult CompilePs(const std::string& source, const std::string& entry = "PS") {
    return Compile(source, "test.fx", kNoIncludes, entry, "ps_4_0");
}

// Location of the GLSL stage variable of the given direction and type ("in vec2").
std::vector<int> LocationsOf(const std::string& glsl, const std::string& declaration) {
    std::vector<int> locations;
    const std::regex pattern("layout\\(location = (\\d+)\\) " + declaration + " ");
    for (auto it = std::sregex_iterator(glsl.begin(), glsl.end(), pattern); it != std::sregex_iterator();
         ++it) {
        locations.push_back(std::stoi((*it)[1]));
    }
    return locations;
}

// --- Errors and includes ---------------------------------------------------------------------

TEST(HlslCompiler, CompileErrorsComeBackAsTextNamingFileAndLine) {
    const auto result =
        CompileVs("float4 VS(float3 p : POSITION) : SV_Position\n{\n    return float4(p, nothing);\n}\n");
    ASSERT_FALSE(result);
    EXPECT_EQ(result.code, nullptr);
    EXPECT_NE(result.errors.find("test.fx:3: error:"), std::string::npos) << result.errors;
    EXPECT_NE(result.errors.find("nothing"), std::string::npos) << result.errors;
}

TEST(HlslCompiler, UnknownEntryPointOrTargetFailsSayingWhich) {
    const std::string source = "float4 VS(float3 p : POSITION) : SV_Position { return float4(p, 1); }\n";
    const auto missing = CompileVs(source, "Main");
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.errors.find("entry point 'Main' not found"), std::string::npos) << missing.errors;

    const auto target = Compile(source, "test.fx", kNoIncludes, "VS", "vs_5_0");
    ASSERT_FALSE(target);
    EXPECT_NE(target.errors.find("'vs_5_0'"), std::string::npos) << target.errors;

    EXPECT_TRUE(CompileVs(source));
}

TEST(HlslCompiler, IncludesResolveFromTheDataRootWhateverFolderTheIncluderIsIn) {
    TestSupport::TempFolder folder;
    folder.Write("common/lighting.hlsl",
                 "#include \"common/scale.hlsl\"\nfloat Lit(float x) { return Scale(x) + 1; }\n");
    folder.Write("common/scale.hlsl", "float Scale(float x) { return x * 3; }\n");
    // A same-named file beside the includer must not be the one taken.
    folder.Write("effects/deep/common/scale.hlsl", "this is not HLSL\n");
    TestSupport::MountedData data(folder.Path());

    DataRootResolver resolver;
    const auto result = Compile(
        "#include \"common/lighting.hlsl\"\nfloat4 VS(float3 p : POSITION) : SV_Position { return float4(p, "
        "Lit(p.x)); }\n",
        "effects/deep/shader.fx", resolver.Function(), "VS", "vs_4_0");
    ASSERT_TRUE(result) << result.errors;
    ASSERT_EQ(resolver.asked.size(), 2u);
    EXPECT_EQ(resolver.asked[0],
              std::make_pair(std::string("common/lighting.hlsl"), std::string("effects/deep/shader.fx")));
    EXPECT_EQ(resolver.asked[1],
              std::make_pair(std::string("common/scale.hlsl"), std::string("common/lighting.hlsl")));
}

TEST(HlslCompiler, ErrorsInAnIncludedFileNameThatFile) {
    TestSupport::TempFolder folder;
    folder.Write("lib/broken.hlsl", "\n\nfloat Broken() { return missingName; }\n");
    TestSupport::MountedData data(folder.Path());
    DataRootResolver resolver;
    const auto result = Compile(
        "#include \"lib/broken.hlsl\"\nfloat4 VS(float3 p : POSITION) : SV_Position { return float4(p, "
        "Broken()); }\n",
        "shader.fx", resolver.Function(), "VS", "vs_4_0");
    ASSERT_FALSE(result);
    EXPECT_NE(result.errors.find("lib/broken.hlsl:3: error:"), std::string::npos) << result.errors;
}

TEST(HlslCompiler, MissingIncludeFailsNamingItAndIsAskedForOnce) {
    TestSupport::TempFolder folder;
    TestSupport::MountedData data(folder.Path());
    DataRootResolver resolver;
    const auto result = Compile(
        "\n#include \"nowhere/gone.hlsl\"\nfloat4 VS(float3 p : POSITION) : SV_Position { return float4(p, "
        "1); }\n",
        "shader.fx", resolver.Function(), "VS", "vs_4_0");
    ASSERT_FALSE(result);
    EXPECT_NE(result.errors.find("shader.fx:2:"), std::string::npos) << result.errors;
    EXPECT_NE(result.errors.find("'nowhere/gone.hlsl'"), std::string::npos) << result.errors;
    EXPECT_EQ(resolver.asked.size(), 1u);
}

// --- Interface ---------------------------------------------------------------------------------

TEST(HlslCompiler, VertexInputsCarrySemanticIndexAndLocation) {
    const auto result = CompileVs(R"(
struct VSIn { float3 normal : NORMAL; float2 uv1 : texcoord1; float3 position : POSITION; float2 uv : TEXCOORD; };
float4 VS(VSIn v, uint id : SV_VertexID) : SV_Position { return float4(v.position + v.normal + float3(v.uv + v.uv1, id), 1); }
)");
    ASSERT_TRUE(result) << result.errors;
    std::map<std::string, uint32_t> locations;
    for (const auto& input : result.code->inputs)
        locations[input.semantic + std::to_string(input.index)] = input.location;
    ASSERT_EQ(locations.size(), 4u) << "system values are not vertex inputs";
    ASSERT_TRUE(locations.count("NORMAL0") && locations.count("TEXCOORD1") && locations.count("POSITION0") &&
                locations.count("TEXCOORD0"));
    // Each reported location is where the GLSL reads an input of that semantic's type.
    const auto& glsl = result.code->glsl;
    EXPECT_EQ(LocationsOf(glsl, "in vec2").size(), 2u);
    for (const char* vec3Semantic : {"NORMAL0", "POSITION0"}) {
        const auto vec3s = LocationsOf(glsl, "in vec3");
        EXPECT_NE(std::find(vec3s.begin(), vec3s.end(), locations[vec3Semantic]), vec3s.end())
            << vec3Semantic;
    }
    for (const char* vec2Semantic : {"TEXCOORD0", "TEXCOORD1"}) {
        const auto vec2s = LocationsOf(glsl, "in vec2");
        EXPECT_NE(std::find(vec2s.begin(), vec2s.end(), locations[vec2Semantic]), vec2s.end())
            << vec2Semantic;
    }
}

TEST(HlslCompiler, VaryingsMeetBySemanticWhateverOrderEachStageDeclares) {
    const std::string source = R"(
struct VSOut { float4 position : SV_Position; float2 uv : TEXCOORD0; float4 colour : COLOR0; float3 normal : NORMAL;
               float depth : FOGDEPTH; };
VSOut VS(float3 p : POSITION)
{
    VSOut o;
    o.position = float4(p, 1); o.uv = p.xy; o.colour = p.xyzz; o.normal = p; o.depth = p.z;
    return o;
}
struct PSIn { float depth : FOGDEPTH; float3 normal : NORMAL; float4 colour : COLOR0; float4 position : SV_Position;
              float2 uv : TEXCOORD0; };
float4 PS(PSIn i) : SV_Target { return i.colour * float4(i.normal, i.uv.x) + i.depth; }
)";
    const auto vs = CompileVs(source);
    const auto ps = CompilePs(source);
    ASSERT_TRUE(vs) << vs.errors;
    ASSERT_TRUE(ps) << ps.errors;
    for (const char* type : {"vec2", "vec4", "vec3", "float"}) {
        const auto written = LocationsOf(vs.code->glsl, std::string("out ") + type);
        const auto read = LocationsOf(ps.code->glsl, std::string("in ") + type);
        ASSERT_EQ(written.size(), 1u) << type;
        EXPECT_EQ(written, read) << type;
    }
    ASSERT_EQ(vs.code->varyings.size(), 4u);
    for (size_t i = 0; i < vs.code->varyings.size(); ++i) {
        EXPECT_EQ(vs.code->varyings[i].semantic, ps.code->varyings[i].semantic);
        EXPECT_EQ(vs.code->varyings[i].location, ps.code->varyings[i].location);
        EXPECT_EQ(vs.code->varyings[i].components, ps.code->varyings[i].components);
    }
}

TEST(HlslCompiler, TargetNWritesLocationN) {
    const auto result = CompilePs(R"(
struct Targets { float2 second : SV_Target2; float4 first : SV_TARGET; float third : SV_Target3; };
Targets PS(float4 p : SV_Position) { Targets t; t.first = p; t.second = p.xy; t.third = p.z; return t; }
)");
    ASSERT_TRUE(result) << result.errors;
    EXPECT_EQ(LocationsOf(result.code->glsl, "out vec4"), std::vector<int>{0});
    EXPECT_EQ(LocationsOf(result.code->glsl, "out vec2"), std::vector<int>{2});
    EXPECT_EQ(LocationsOf(result.code->glsl, "out float"), std::vector<int>{3});
}

TEST(HlslCompiler, VaryingsThatCannotBePlacedFailClearly) {
    const auto spanning = CompileVs(R"(
struct VSOut { float4 position : SV_Position; float4x4 m : COLOR1; };
VSOut VS(float3 p : POSITION) { VSOut o; o.position = float4(p, 1); o.m = (float4x4)0; return o; }
)");
    ASSERT_FALSE(spanning);
    EXPECT_NE(spanning.errors.find("COLOR1"), std::string::npos) << spanning.errors;

    // A matrix on TEXCOORD takes the following indices, as HLSL gives it.
    const auto matrix = CompileVs(R"(
struct VSOut { float4 position : SV_Position; float4x4 m : TEXCOORD2; };
VSOut VS(float3 p : POSITION) { VSOut o; o.position = float4(p, 1); o.m = (float4x4)0; return o; }
)");
    ASSERT_TRUE(matrix) << matrix.errors;
    ASSERT_EQ(matrix.code->varyings.size(), 4u);
    EXPECT_EQ(matrix.code->varyings[3].index, 5u);
    EXPECT_EQ(matrix.code->varyings[3].location, 5u);
}

// --- Registers and packing ---------------------------------------------------------------------

TEST(HlslCompiler, ConstantBlockGetsRegisterPackingAndACopyListToStd140) {
    const auto result = CompileVs(R"(
cbuffer Constants : register(b1)
{
    float e[2];      // 0 and 16; the next scalar packs after the last element
    float g;         // 20
    float3x3 rot;    // three registers from 32, 12 bytes each
    float tail1;     // 76: packs after the last column
    float tail2;     // 80
    float4x4 world;  // 96
    float3 eye;      // 160
    float after;     // 172
};
float4 VS(float3 p : POSITION) : SV_Position
{
    return mul(float4(mul(p, rot) * e[1] + g + tail1 + tail2 + eye + after, 1), world);
}
)");
    ASSERT_TRUE(result) << result.errors;
    ASSERT_EQ(result.code->constants.size(), 1u);
    const auto& block = result.code->constants[0];
    EXPECT_EQ(block.slot, 1u);
    EXPECT_EQ(block.name, "Constants");
    EXPECT_EQ(block.hlslSize, 176u);
    EXPECT_EQ(block.glSize, 192u);
    // std140: e at 0 and 16, g 32, rot 48/64/80, tail1 96, tail2 100, world 112, eye 176, after 188.
    EXPECT_EQ(block.repack, (std::vector<CopyRange>{{0, 0, 4},
                                                    {16, 16, 4},
                                                    {20, 32, 4},
                                                    {32, 48, 12},
                                                    {48, 64, 12},
                                                    {64, 80, 12},
                                                    {76, 96, 8},
                                                    {96, 112, 80}}));
    EXPECT_NE(result.code->glsl.find("layout(binding = 1, std140) uniform Constants"), std::string::npos)
        << result.code->glsl;
}

TEST(HlslCompiler, PackOffsetPlacesMembersWhereItSays) {
    const auto result = CompileVs(R"(
cbuffer Placed : register(b0) { float a : packoffset(c1); float b : packoffset(c0.y); float4 c : packoffset(c2); };
// An array in a cbuffer without packoffset keeps the packing rules, whatever this comment says.
cbuffer Ruled : register(b1) { float e[2]; float g; };
float4 VS(float3 p : POSITION) : SV_Position { return float4(p * a * b * e[1] * g, 1) + c; }
)");
    ASSERT_TRUE(result) << result.errors;
    ASSERT_EQ(result.code->constants.size(), 2u);
    const auto placed = std::find_if(result.code->constants.begin(), result.code->constants.end(),
                                     [](const auto& block) { return block.slot == 0; });
    const auto ruled = std::find_if(result.code->constants.begin(), result.code->constants.end(),
                                    [](const auto& block) { return block.slot == 1; });
    ASSERT_TRUE(placed != result.code->constants.end() && ruled != result.code->constants.end());
    EXPECT_EQ(placed->hlslSize, 48u);
    EXPECT_EQ(placed->repack, (std::vector<CopyRange>{{16, 0, 4}, {4, 4, 4}, {32, 16, 16}}));
    EXPECT_EQ(ruled->repack, (std::vector<CopyRange>{{0, 0, 4}, {16, 16, 4}, {20, 32, 4}}));
}

TEST(HlslCompiler, StructuredBufferGetsTightPackingAndACopyListToStd430) {
    const auto result = CompileVs(R"(
struct Sprite { float x; float y; float4 colour; float first; float second; int cell; float unused; };
StructuredBuffer<Sprite> sprites : register(t5);
StructuredBuffer<float3> points : register(t2);
float4 VS(float3 p : POSITION, uint id : SV_InstanceID) : SV_Position
{
    Sprite s = sprites[id];
    return float4(p + points[id] + s.x + s.y + s.first + s.second + s.cell + s.unused, 1) * s.colour;
}
)");
    ASSERT_TRUE(result) << result.errors;
    ASSERT_EQ(result.code->structured.size(), 2u);
    const auto sprites = std::find_if(result.code->structured.begin(), result.code->structured.end(),
                                      [](const auto& block) { return block.slot == 5; });
    ASSERT_NE(sprites, result.code->structured.end());
    EXPECT_EQ(sprites->hlslStride, 40u);
    EXPECT_EQ(sprites->glStride, 48u);
    // The colour sits at 8 in the HLSL record and at 16 in std430; everything after it moves with it.
    EXPECT_EQ(sprites->repack, (std::vector<CopyRange>{{0, 0, 8}, {8, 16, 32}}));
    EXPECT_NE(result.code->glsl.find("layout(binding = 5, std430) readonly buffer " + sprites->name),
              std::string::npos)
        << result.code->glsl;

    const auto points = std::find_if(result.code->structured.begin(), result.code->structured.end(),
                                     [](const auto& block) { return block.slot == 2; });
    ASSERT_NE(points, result.code->structured.end());
    EXPECT_EQ(points->hlslStride, 12u);
    EXPECT_EQ(points->glStride, 16u);
    EXPECT_EQ(points->repack, (std::vector<CopyRange>{{0, 0, 12}}));
}

TEST(HlslCompiler, CommonLayoutsNeedNoRepack) {
    const auto result = CompileVs(R"(
cbuffer Constants : register(b0) { float4x4 viewProjection; float4 colour; };
struct Shape { float4x4 world; int type; float inner; float outer; float unused; };
StructuredBuffer<Shape> shapes : register(t5);
float4 VS(float3 p : POSITION, uint id : SV_InstanceID) : SV_Position
{
    Shape s = shapes[id];
    return mul(mul(float4(p * s.inner * s.outer * s.type, 1), s.world), viewProjection) * colour;
}
)");
    ASSERT_TRUE(result) << result.errors;
    ASSERT_EQ(result.code->constants.size(), 1u);
    EXPECT_EQ(result.code->constants[0].hlslSize, 80u);
    EXPECT_EQ(result.code->constants[0].glSize, 80u);
    EXPECT_TRUE(result.code->constants[0].repack.empty());
    ASSERT_EQ(result.code->structured.size(), 1u);
    EXPECT_EQ(result.code->structured[0].hlslStride, 80u);
    EXPECT_EQ(result.code->structured[0].glStride, 80u);
    EXPECT_TRUE(result.code->structured[0].repack.empty());
}

TEST(HlslCompiler, TexturesPairWithTheirSamplerRegisters) {
    const auto result = CompilePs(R"(
Texture2D image : register(t0);
Texture2D other : register(t1);
Texture3D table : register(t4);
SamplerState linearClamp : register(s0);
SamplerState pointWrap : register(s3);
float4 PS(float4 p : SV_Position, float2 uv : TEXCOORD0) : SV_Target
{
    return image.Sample(linearClamp, uv) + image.Sample(pointWrap, uv) + table.Sample(linearClamp, uv.xyx) +
           other.Load(int3(p.xy, 0));
}
)");
    ASSERT_TRUE(result) << result.errors;
    std::map<std::string, Hlsl::TextureBinding> byName;
    for (const auto& texture : result.code->textures) byName[texture.name] = texture;
    ASSERT_EQ(byName.size(), 4u);
    const auto expect = [&](uint32_t t, int s, Hlsl::TextureType type) {
        const auto found =
            std::find_if(result.code->textures.begin(), result.code->textures.end(),
                         [&](const auto& x) { return x.textureSlot == t && x.samplerSlot == s; });
        ASSERT_NE(found, result.code->textures.end()) << "t" << t << " s" << s;
        EXPECT_EQ(found->type, type);
        EXPECT_NE(result.code->glsl.find(found->name + ";"), std::string::npos) << found->name;
    };
    expect(0, 0, Hlsl::TextureType::Texture2D);
    expect(0, 3, Hlsl::TextureType::Texture2D);
    expect(4, 0, Hlsl::TextureType::Texture3D);
    expect(1, -1, Hlsl::TextureType::Texture2D);
}

TEST(HlslCompiler, UnsupportedResourcesFailNamingThem) {
    const auto multisampled = CompilePs(R"(
Texture2DMS<float4> sky : register(t0);
float4 PS(float4 p : SV_Position) : SV_Target { return sky.Load(int2(p.xy), 1); }
)");
    ASSERT_FALSE(multisampled);
    EXPECT_NE(multisampled.errors.find("test.fx: error: texture 'sky'"), std::string::npos)
        << multisampled.errors;
}

}  // namespace
