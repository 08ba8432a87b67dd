// The bundled show's script and shaders, run in-process through the effect factory: every scene
// builds, compiles and draws a picture with no message but the expected progress lines.
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "effects/effect.h"
#include "graphics/dynamicTexture.h"
#include "support/logCapture.h"
#include "support/showFixture.h"

namespace {

using TestSupport::LogCapture;

class BundledDemo : public TestSupport::ShowTest {
protected:
    void SetUp() override {
        ShowTest::SetUp();
        if (IsSkipped()) return;
        // Everything but the music, which the effects never read.
        const std::filesystem::path data = std::filesystem::path(VANTRISK_SOURCE_DIR) / "data";
        for (const auto& entry : std::filesystem::directory_iterator(data)) {
            if (entry.path().extension() == ".ogg") continue;
            Data().Write(entry.path().filename().string(), TestSupport::ReadHostFile(entry.path()));
        }
    }
    void TearDown() override {
        effects.clear();
        ShowTest::TearDown();
    }

    std::vector<std::unique_ptr<Effects::Effect>> effects;
};

// Messages that report progress rather than trouble: entry points compiled at their first use, as
// post-processes do, and colour tables parsed.
bool IsProgress(const TestSupport::LogLine& line) {
    if (line.text.find("Trying to load it now..") != std::string::npos) return true;
    return line.function == "CubeLoader::CubeLoader" &&
           (line.text == "Parsing a .cube file.." || line.text == "..succeeded");
}

TEST_F(BundledDemo, EverySceneBuildsAndDrawsWithoutComplaint) {
    pugi::xml_document document;
    const std::string script = TestSupport::ReadHostFile(Data().Path() / "demo.xml");
    ASSERT_TRUE(document.load_string(script.c_str()));
    const pugi::xml_node demo = document.child("demo");
    EXPECT_STREQ(demo.attribute("audioFilename").value(), "music.ogg");
    EXPECT_STREQ(demo.attribute("bpm").value(), "120");

    LogCapture loadLog;
    ASSERT_TRUE(Effects::Effect::LoadEffects(demo, effects));
    for (const auto& line : loadLog.Lines()) {
        if (!IsProgress(line)) ADD_FAILURE() << line.function << ": " << line.text;
    }
    // One effect per scene of the script, each drawn twice inside its window: early, and later when
    // the grading, blur and split effects have joined.
    std::vector<double> beats;
    for (const pugi::xml_node scene : demo.children("effect")) {
        const double start = scene.attribute("start").as_double(),
                     length = scene.attribute("length").as_double();
        beats.push_back(start + length * 0.2 + 0.5);
        beats.push_back(start + length * 0.4 + 0.25);
    }
    ASSERT_EQ(effects.size(), beats.size() / 2);

    RenderTexturePair pair(800.0f, 600.0f);
    for (const double beat : beats) {
        SCOPED_TRACE("beat " + std::to_string(beat));
        LogCapture frameLog;
        for (const auto& effect : effects) effect->Update(beat, &pair);
        for (const auto& line : frameLog.Lines()) {
            if (!IsProgress(line)) ADD_FAILURE() << line.function << ": " << line.text;
        }
        const auto picture = Read(pair.Current().texture);
        int darkest = 255 * 3, brightest = 0;
        for (uint32_t y = 50; y < 600; y += 100) {
            for (uint32_t x = 50; x < 800; x += 100) {
                const auto p = picture.At(x, y);
                // Hot pink would mean a shader that cannot be bound.
                EXPECT_FALSE(p[0] == 255 && p[1] == 105 && p[2] == 180) << "at " << x << ", " << y;
                darkest = std::min(darkest, p[0] + p[1] + p[2]);
                brightest = std::max(brightest, p[0] + p[1] + p[2]);
            }
        }
        EXPECT_GT(brightest - darkest, 60) << "a flat picture";
    }
}

}  // namespace
