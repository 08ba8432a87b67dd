// Fixture for the tests of the shape and sprite renderers and the effects built on them: the show's
// pair and device as the screen effects' tests have them, the two shaders of the bundled demo, a
// camera put back in its start state, and small helpers for scripts and logs.
#pragma once

#include <string>

#include "effects/screenEffectFixture.h"
#include "graphics/camera.h"
#include "support/logCapture.h"

namespace TestSupport {

class ShapesTest : public ScreenEffectTest {
protected:
    void SetUp() override {
        ScreenEffectTest::SetUp();
        if (IsSkipped()) return;
        CopyDemoFile("shapes.fx");
        CopyDemoFile("sprites.fx");
        Camera_Reset();
        Fill({0.0f, 0.0f, 0.0f, 1.0f});
    }
    void TearDown() override {
        Camera_Reset();
        ScreenEffectTest::TearDown();
    }

    /// The one effect of type `type` built from the script's parameter elements `params`.
    template <typename T>
    T& LoadEffect(const std::string& type, const std::string& params) {
        EXPECT_TRUE(Load("<effect type='" + type + "'>" + params + "</effect>"));
        return static_cast<T&>(*effects.at(0));
    }
};

/// A "double" parameter element.
inline std::string Number(const std::string& key, const std::string& value) {
    return "<param key='" + key + "' type='double' value='" + value + "'/>";
}

/// How many of the captured lines contain `text`.
inline int CountLines(LogCapture& log, const std::string& text) {
    int count = 0;
    for (const std::string& line : log.Texts()) count += line.find(text) != std::string::npos;
    return count;
}

}  // namespace TestSupport
