// Reading --size and --supersample.
#include "main/sizeOption.h"

#include <gtest/gtest.h>

namespace {

TEST(SizeOption, SizesAndWhatIsWrongWithTheOthers) {
    struct Case {
        const char* text;
        bool valid;
        int width = 0;
        int height = 0;
        bool native = false;
    };
    const Case cases[] = {
        {"1920x1080", true, 1920, 1080, false},
        {"800X600", true, 800, 600, false},
        {"7680x4320", true, 7680, 4320, false},
        {"1x1", true, 1, 1, false},
        {"native", true, 0, 0, true},
        {"0x0", false},
        {"0x600", false},
        {"-800x600", false},
        {"800x-600", false},
        {"800", false},
        {"800x", false},
        {"x600", false},
        {"1.5x2", false},
        {"1e3x600", false},
        {"7681x4320", false},
        {"7680x4321", false},
        {"99999999999x1", false},
        {" 800x600", false},
        {"800x600x2", false},
        {"Native", false},
        {"", false},
    };
    for (const Case& c : cases) {
        SizeRequest request;
        const std::string problem = ParseSize(c.text, request);
        EXPECT_EQ(problem.empty(), c.valid) << "'" << c.text << "': " << problem;
        if (!c.valid) continue;
        EXPECT_EQ(request.width, c.width) << c.text;
        EXPECT_EQ(request.height, c.height) << c.text;
        EXPECT_EQ(request.native, c.native) << c.text;
        EXPECT_TRUE(request.HasSize());
    }
}

TEST(SizeOption, SupersampleTakesOneToFour) {
    for (const char* good : {"1", "2", "3", "4"}) {
        SizeRequest request;
        EXPECT_EQ(ParseSupersample(good, request), "") << good;
        EXPECT_EQ(request.supersample, good[0] - '0');
        EXPECT_FALSE(request.HasSize());
    }
    for (const char* bad : {"0", "5", "-1", "2.0", "two", "", "16"}) {
        SizeRequest request;
        EXPECT_NE(ParseSupersample(bad, request), "") << bad;
        EXPECT_EQ(request.supersample, 1) << bad;
    }
}

}  // namespace
