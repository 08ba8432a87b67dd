// Compiled shaders kept on disk: the byte form of a shader, the entry files, and a second start of
// the bundled show that compiles nothing.
#include "platform/hlsl/shaderCache.h"

#include <gtest/gtest.h>
#include <physfs.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "effects/effectsManager.h"
#include "platform/hlsl/compilerService.h"
#include "platform/hlsl/wireFormat.h"
#include "support/showFixture.h"
#include "support/tempFolder.h"
#include "system/audio.h"

namespace {

namespace fs = std::filesystem;
using Hlsl::CompilerService;
using Hlsl::ContentHash;

// A shader with something in every table.
Hlsl::ShaderCode SampleCode() {
    Hlsl::ShaderCode code;
    code.stage = Hlsl::Stage::Pixel;
    code.entryPoint = "PS_Glow";
    code.glsl = "#version 450\nvoid main() {}\n";
    code.inputs = {{"POSITION", 0, 0}, {"TEXCOORD", 1, 2}};
    code.varyings = {{"TEXCOORD", 0, 0, 2}, {"COLOR", 1, 17, 4}, {"FOG", 0, 24, 1, true}};
    code.constants = {{0, "Constants", 48, 64, {{0, 0, 12}, {12, 16, 4}}}};
    code.structured = {{5, "Instances", 40, 48, {{8, 16, 16}}}};
    code.textures = {{"Texture0_Sampler1", 0, 1, Hlsl::TextureType::TextureCube},
                     {"Texture3_Load", 3, -1, Hlsl::TextureType::Texture2DArray}};
    return code;
}

std::string Bytes(const Hlsl::ShaderCode& code) {
    Hlsl::Wire::Writer out;
    Hlsl::Wire::WriteShaderCode(out, code);
    return out.Bytes();
}

TEST(HlslWireFormat, ShaderCodeReadsBackAsWrittenAndDamageIsRefused) {
    const std::string bytes = Bytes(SampleCode());
    Hlsl::ShaderCode read;
    Hlsl::Wire::Reader in(bytes);
    ASSERT_TRUE(Hlsl::Wire::ReadShaderCode(in, read));
    EXPECT_TRUE(in.AtEnd());
    EXPECT_EQ(Bytes(read), bytes);
    EXPECT_EQ(read.structured[0].repack, SampleCode().structured[0].repack);

    // Every cut is refused, never read past.
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        Hlsl::Wire::Reader shorter(std::string_view(bytes).substr(0, cut));
        Hlsl::ShaderCode partial;
        EXPECT_FALSE(Hlsl::Wire::ReadShaderCode(shorter, partial) && shorter.AtEnd()) << cut;
    }
    // Tables that would send the GPU layer outside a block, and absurd counts, are refused.
    Hlsl::ShaderCode outside = SampleCode();
    outside.constants[0].repack[1].destination = 62;
    Hlsl::ShaderCode slot = SampleCode();
    slot.textures[0].textureSlot = 16;
    Hlsl::ShaderCode shape = SampleCode();
    shape.textures[1].type = static_cast<Hlsl::TextureType>(Hlsl::kTextureTypes);
    for (const auto& bad : {outside, slot, shape}) {
        const std::string badBytes = Bytes(bad);
        Hlsl::Wire::Reader badIn(badBytes);
        Hlsl::ShaderCode ignored;
        EXPECT_FALSE(Hlsl::Wire::ReadShaderCode(badIn, ignored));
    }
    Hlsl::Wire::Writer huge;
    huge.U8(1);
    huge.String("PS");
    huge.String("x");
    huge.U32(0xFFFFFFFFu);
    Hlsl::Wire::Reader hugeIn(huge.Bytes());
    Hlsl::ShaderCode ignored;
    EXPECT_FALSE(Hlsl::Wire::ReadShaderCode(hugeIn, ignored));
}

TEST(HlslContentHash, PiecesHashAsOneStringAndFieldsNeverRunTogether) {
    const std::string million(1000000, 'a');
    ContentHash pieces;
    for (size_t at = 0; at < million.size(); at += 999)
        pieces.Update(million.data() + at, std::min<size_t>(999, million.size() - at));
    EXPECT_EQ(pieces.Finish(), ContentHash::Of(million));
    EXPECT_NE(ContentHash::Of(million), ContentHash::Of(million + "a"));
    EXPECT_EQ(ContentHash::Hex(ContentHash::Of("")).size(), 32u);

    ContentHash ab, a;
    ab.UpdateField("ab");
    ab.UpdateField("c");
    a.UpdateField("a");
    a.UpdateField("bc");
    EXPECT_NE(ab.Finish(), a.Finish());
}

TEST(HlslShaderCache, EntriesReadBackAndDamagedFilesReadAsNone) {
    TestSupport::TempFolder folder;
    const Hlsl::ShaderCache cache((folder.Path() / "ShaderCache").string());
    const ContentHash::Digest key = ContentHash::Of("key");
    const std::vector<Hlsl::IncludeRecord> includes = {
        {"quad.fxh", "plasma.fx", true, ContentHash::Of("float4 Q();")}, {"gone.fxh", "quad.fxh", false, {}}};
    std::vector<Hlsl::IncludeRecord> readIncludes;
    Hlsl::ShaderCode code;
    EXPECT_FALSE(cache.Load(key, readIncludes, code));
    ASSERT_TRUE(cache.Store(key, includes, SampleCode()));
    ASSERT_TRUE(cache.Load(key, readIncludes, code));
    EXPECT_EQ(readIncludes, includes);
    EXPECT_EQ(Bytes(code), Bytes(SampleCode()));
    EXPECT_FALSE(cache.Load(ContentHash::Of("other key"), readIncludes, code));

    const std::string good = TestSupport::ReadHostFile(cache.PathOf(key));
    std::string flipped = good;
    flipped[flipped.size() / 2] ^= 0x20;
    const std::string damaged[] = {"", good.substr(0, good.size() - 1), flipped, good + "x"};
    for (const std::string& bytes : damaged) {
        std::ofstream(cache.PathOf(key), std::ios::binary | std::ios::trunc) << bytes;
        EXPECT_FALSE(cache.Load(key, readIncludes, code)) << bytes.size();
    }
    // An entry copied under another key's name is not that key's.
    std::ofstream(cache.PathOf(ContentHash::Of("other key")), std::ios::binary) << good;
    EXPECT_FALSE(cache.Load(ContentHash::Of("other key"), readIncludes, code));
    EXPECT_TRUE(Hlsl::ShaderCache("").Load(key, readIncludes, code) == false);
}

// The folder stays within its bound, and what goes first is what was used longest ago: the entry
// read back most recently survives though it was written first.
TEST(HlslShaderCache, AFolderPastItsBoundLosesTheEntriesUsedLongestAgo) {
    TestSupport::TempFolder folder;
    const std::string path = (folder.Path() / "ShaderCache").string();
    const uint64_t entryBytes = [&] {
        const Hlsl::ShaderCache probe(path);
        probe.Store(ContentHash::Of("probe"), {}, SampleCode());
        const uint64_t bytes = std::filesystem::file_size(probe.PathOf(ContentHash::Of("probe")));
        std::filesystem::remove(probe.PathOf(ContentHash::Of("probe")));
        return bytes;
    }();
    const Hlsl::ShaderCache cache(path, entryBytes * 4);
    std::vector<Hlsl::IncludeRecord> includes;
    Hlsl::ShaderCode code;
    for (int i = 0; i < 12; ++i) {
        ASSERT_TRUE(cache.Store(ContentHash::Of("key " + std::to_string(i)), {}, SampleCode()));
        // Every store makes its entry the newest, and the first entry is read after each store.
        if (i > 0) {
            ASSERT_TRUE(cache.Load(ContentHash::Of("key 0"), includes, code)) << i;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(15));  // file times are coarse
        uint64_t total = 0;
        for (const auto& file : std::filesystem::directory_iterator(path)) total += file.file_size();
        EXPECT_LE(total, entryBytes * 4) << "after store " << i;
    }
    EXPECT_TRUE(cache.Load(ContentHash::Of("key 11"), includes, code)) << "the newest entry stays";
    EXPECT_TRUE(cache.Load(ContentHash::Of("key 0"), includes, code)) << "the entry in use stays";
    EXPECT_FALSE(cache.Load(ContentHash::Of("key 1"), includes, code)) << "an old entry never read goes";
}

// ---------------------------------------------------------------------------------------------------
// The cache as the program uses it

const std::string kSource =
    "#include \"colour.fxh\"\nfloat4 PS(float4 p : SV_Position) : SV_Target { return Colour(); }\n";

class ShaderCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        data = std::make_unique<TestSupport::TempFolder>();
        data->Write("colour.fxh", "float4 Colour() { return float4(1, 0, 0, 1); }\n");
        mounted = std::make_unique<TestSupport::MountedData>(data->Path());
        service.ForgetResults();
    }
    void TearDown() override {
        service.ForgetResults();
        mounted.reset();
        data.reset();
    }
    // A compile as a fresh run of the program makes it: nothing kept in memory.
    Hlsl::CompileResult FreshCompile() {
        service.ForgetResults();
        return service.Compile(kSource, "plasma.fx", Resolve(), "PS", "ps_4_0");
    }
    static Hlsl::IncludeResolver Resolve() {
        return [](const std::string& requested, const std::string&, std::string& contents) {
            contents = TestSupport::ReadHostFile(fs::path(PHYSFS_getWriteDir()) / requested);
            return !contents.empty();
        };
    }
    std::vector<fs::path> Entries() const {
        std::vector<fs::path> entries;
        for (const auto& entry : fs::directory_iterator(data->Path() / "ShaderCache"))
            entries.push_back(entry.path());
        return entries;
    }

    CompilerService& service = CompilerService::Get();
    std::unique_ptr<TestSupport::TempFolder> data;
    std::unique_ptr<TestSupport::MountedData> mounted;
};

TEST_F(ShaderCacheTest, ASecondRunTakesTheShaderFromTheWriteDirectory) {
    const auto before = service.Counters();
    ASSERT_TRUE(FreshCompile());
    ASSERT_EQ(Entries().size(), 1u);
    EXPECT_EQ(Entries()[0].extension(), ".bin");
    const auto second = FreshCompile();
    ASSERT_TRUE(second);
    EXPECT_EQ(service.Counters().compiles, before.compiles + 1);
    EXPECT_EQ(service.Counters().cacheHits, before.cacheHits + 1);
    EXPECT_EQ(second.code->entryPoint, "PS");
}

TEST_F(ShaderCacheTest, DamagedOrStaleEntriesAreIgnoredAndRewritten) {
    ASSERT_TRUE(FreshCompile());
    const fs::path entry = Entries().at(0);
    const std::string good = TestSupport::ReadHostFile(entry);
    std::string damaged = good;
    damaged[damaged.size() / 3] ^= 1;
    std::ofstream(entry, std::ios::binary | std::ios::trunc) << damaged;

    const uint64_t compiles = service.Counters().compiles;
    ASSERT_TRUE(FreshCompile());
    EXPECT_EQ(service.Counters().compiles, compiles + 1);
    EXPECT_EQ(TestSupport::ReadHostFile(entry), good) << "the damaged entry is written anew";

    // An edited include makes the entry stale: compiled again, and the entry now holds the new text.
    data->Write("colour.fxh", "float4 Colour() { return float4(0, 1, 0, 1); }\n");
    const auto green = FreshCompile();
    ASSERT_TRUE(green);
    EXPECT_EQ(service.Counters().compiles, compiles + 2);
    EXPECT_EQ(Entries().size(), 1u);
    const uint64_t hits = service.Counters().cacheHits;
    ASSERT_TRUE(FreshCompile());
    EXPECT_EQ(service.Counters().cacheHits, hits + 1);
    EXPECT_EQ(service.Counters().compiles, compiles + 2);
}

TEST_F(ShaderCacheTest, FailuresAreNotWrittenToDisk) {
    data->Write("colour.fxh", "float4 Colour() { return nothing; }\n");
    EXPECT_FALSE(FreshCompile());
    EXPECT_FALSE(fs::exists(data->Path() / "ShaderCache") && !Entries().empty());
}

// The bundled show started twice in one write directory: the second start compiles nothing.
class BundledShowCacheTest : public TestSupport::ShowTest {};

TEST_F(BundledShowCacheTest, ASecondStartOfTheBundledShowCompilesNothing) {
    if (IsSkipped()) return;
    ASSERT_TRUE(PHYSFS_mount((fs::path(VANTRISK_SOURCE_DIR) / "data").c_str(), "/", 1));
    Audio_UseSilentOutput(true);
    CompilerService& service = CompilerService::Get();
    auto start = [&] {
        service.ForgetResults();
        const auto before = service.Counters();
        {
            Effects::EffectsManager manager(false, "demo.xml");
            manager.RunFrame(0.0);
        }
        const auto after = service.Counters();
        return std::make_pair(after.compiles - before.compiles, after.cacheHits - before.cacheHits);
    };
    const auto [coldCompiles, coldHits] = start();
    const auto [warmCompiles, warmHits] = start();
    Audio_UseSilentOutput(false);
    EXPECT_GT(coldCompiles, 0u);
    EXPECT_EQ(coldHits, 0u);
    EXPECT_EQ(warmCompiles, 0u);
    EXPECT_EQ(warmHits, coldCompiles);
}

}  // namespace
