// Linked programs kept on disk: a stored program comes back linked, keyed by its text, stage and
// driver; a file damaged in any way is logged and refused, and the next store mends it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/gpu/programCache.h"
#include "support/gpuFixture.h"
#include "support/logCapture.h"
#include "support/tempFolder.h"

namespace {

namespace fs = std::filesystem;
using Gpu::Detail::ProgramCache;

constexpr char kPixelGlsl[] = R"(#version 450
layout(location = 0) in vec2 uv;
layout(location = 0) out vec4 colour;
void main() { colour = vec4(uv, 0.25, 1.0); }
)";

class GpuProgramCache : public TestSupport::GpuTest {
protected:
    // A freshly linked separable pixel program of `glsl` (0 when the driver refused it).
    static GLuint Compile(const char* glsl) {
        const GLuint program = glCreateShaderProgramv(GL_FRAGMENT_SHADER, 1, &glsl);
        GLint linked = GL_FALSE;
        glGetProgramiv(program, GL_LINK_STATUS, &linked);
        return linked ? program : 0;
    }

    static bool Linked(GLuint program) {
        GLint linked = GL_FALSE;
        if (program) glGetProgramiv(program, GL_LINK_STATUS, &linked);
        return linked == GL_TRUE;
    }

    // Stores kPixelGlsl's program in `cache`; false when the driver keeps no binaries.
    bool StoreOne(const ProgramCache& cache) {
        const GLuint program = Compile(kPixelGlsl);
        EXPECT_NE(program, 0u);
        const bool stored = cache.Store(GL_FRAGMENT_SHADER, kPixelGlsl, program);
        glDeleteProgram(program);
        return stored;
    }

    TestSupport::TempFolder folder;
};

TEST_F(GpuProgramCache, StoredProgramComesBackLinkedForItsTextStageAndDriverOnly) {
    const ProgramCache cache((folder.Path() / "Programs").string(), "driver A");
    EXPECT_EQ(cache.Load(GL_FRAGMENT_SHADER, kPixelGlsl), 0u);  // cold: nothing stored, nothing logged
    if (!StoreOne(cache)) GTEST_SKIP() << "the driver gives no program binaries";
    EXPECT_TRUE(fs::exists(cache.PathOf(GL_FRAGMENT_SHADER, kPixelGlsl)));

    const GLuint loaded = cache.Load(GL_FRAGMENT_SHADER, kPixelGlsl);
    EXPECT_TRUE(Linked(loaded));
    GLint separable = GL_FALSE;
    glGetProgramiv(loaded, GL_PROGRAM_SEPARABLE, &separable);
    EXPECT_EQ(separable, GL_TRUE);
    glDeleteProgram(loaded);

    // Another text, another stage or another driver never finds this binary.
    EXPECT_EQ(cache.Load(GL_FRAGMENT_SHADER, std::string(kPixelGlsl) + " "), 0u);
    EXPECT_EQ(cache.Load(GL_VERTEX_SHADER, kPixelGlsl), 0u);
    const ProgramCache otherDriver((folder.Path() / "Programs").string(), "driver B");
    EXPECT_EQ(otherDriver.Load(GL_FRAGMENT_SHADER, kPixelGlsl), 0u);

    // Without a folder nothing is kept.
    const ProgramCache none("", "driver A");
    EXPECT_FALSE(StoreOne(none));
    EXPECT_EQ(none.Load(GL_FRAGMENT_SHADER, kPixelGlsl), 0u);
}

TEST_F(GpuProgramCache, DamagedFileIsLoggedRefusedAndMendedByTheNextStore) {
    const ProgramCache cache((folder.Path() / "Programs").string(), "driver");
    if (!StoreOne(cache)) GTEST_SKIP() << "the driver gives no program binaries";
    const fs::path path = cache.PathOf(GL_FRAGMENT_SHADER, kPixelGlsl);
    const std::string good = TestSupport::ReadHostFile(path);
    ASSERT_GT(good.size(), 40u);

    const struct {
        const char* name;
        std::function<std::string(std::string)> damage;
    } cases[] = {
        {"empty", [](std::string) { return std::string(); }},
        {"half a header", [](std::string bytes) { return bytes.substr(0, 12); }},
        {"truncated binary", [](std::string bytes) { return bytes.substr(0, bytes.size() - 7); }},
        {"trailing bytes", [](std::string bytes) { return bytes + "xyz"; }},
        {"flipped binary byte",
         [](std::string bytes) {
             bytes[bytes.size() / 2 + 16] ^= 0x40;
             return bytes;
         }},
        {"foreign magic",
         [](std::string bytes) {
             bytes[0] = 'X';
             return bytes;
         }},
        {"huge length",
         [](std::string bytes) {
             bytes[12] = bytes[13] = bytes[14] = bytes[15] = '\xff';
             return bytes;
         }},
        {"text", [](std::string) { return std::string(200, 'a'); }},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << test.damage(good);
        TestSupport::LogCapture log;
        EXPECT_EQ(cache.Load(GL_FRAGMENT_SHADER, kPixelGlsl), 0u);
        const auto& lines = log.Lines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].text.find("compiling its shader again"), std::string::npos) << lines[0].text;
        EXPECT_NE(lines[0].text.find(path.filename().string()), std::string::npos) << lines[0].text;

        ASSERT_TRUE(StoreOne(cache));
        const GLuint mended = cache.Load(GL_FRAGMENT_SHADER, kPixelGlsl);
        EXPECT_TRUE(Linked(mended));
        glDeleteProgram(mended);
    }
    // Nothing half-written is left beside the binaries.
    for (const auto& entry : fs::directory_iterator(path.parent_path()))
        EXPECT_EQ(entry.path().extension(), ".glprog") << entry.path();
}

TEST_F(GpuProgramCache, OldestBinariesGoBeyondTheBudget) {
    // A budget of a little over two binaries: the third store removes the first.
    const ProgramCache probe((folder.Path() / "Probe").string(), "driver");
    if (!StoreOne(probe)) GTEST_SKIP() << "the driver gives no program binaries";
    const uint64_t size = fs::file_size(probe.PathOf(GL_FRAGMENT_SHADER, kPixelGlsl));
    const ProgramCache cache((folder.Path() / "Programs").string(), "driver", size * 2 + size / 2);
    const std::string texts[3] = {kPixelGlsl, std::string(kPixelGlsl) + "\n",
                                  std::string(kPixelGlsl) + "\n\n"};
    const GLuint program = Compile(kPixelGlsl);
    for (const std::string& text : texts) {
        ASSERT_TRUE(cache.Store(GL_FRAGMENT_SHADER, text, program));
        // Distinct write times, so that the oldest is the first.
        const fs::path path = cache.PathOf(GL_FRAGMENT_SHADER, text);
        fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(3 - (&text - texts)));
    }
    glDeleteProgram(program);
    EXPECT_FALSE(fs::exists(cache.PathOf(GL_FRAGMENT_SHADER, texts[0])));
    EXPECT_TRUE(fs::exists(cache.PathOf(GL_FRAGMENT_SHADER, texts[2])));
}

}  // namespace
