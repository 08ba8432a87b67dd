#include "graphics/texture.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "graphics/cubeLoader.h"
#include "platform/image/imageCodec.h"
#include "support/logCapture.h"
#include "support/showFixture.h"

namespace {

using TestSupport::LogCapture;
using TestSupport::Rgba;

// A PNG of `width` × `height` pixels given row by row as Rgba() values (alpha is not stored).
std::string Png(int width, int height, const std::vector<uint32_t>& pixels) {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(Image::EncodePng(reinterpret_cast<const uint8_t*>(pixels.data()), width, height, width * 4,
                                 true, "test", bytes, error))
        << error;
    return std::string(bytes.begin(), bytes.end());
}

bool Contains(const std::vector<std::string>& texts, const std::string& text) {
    for (const auto& line : texts) {
        if (line == text) return true;
    }
    return false;
}

// A save that the watchers surely notice, however fast the test runs.
void Touch(const std::filesystem::path& path) {
    using namespace std::chrono_literals;
    std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + 2s);
}

class TextureTest : public TestSupport::ShowTest {
protected:
    std::vector<uint8_t> ReadLevel(const Gpu::ResourcePtr& texture, uint32_t mip) {
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(Context().ReadTexture(texture, mip, bytes));
        return bytes;
    }
};

constexpr uint32_t kRed = Rgba(255, 0, 0), kBlue = Rgba(0, 0, 255);

// ---------------------------------------------------------------------------------------------------
// Texture

TEST_F(TextureTest, Texture_EmptyNameLoadsNothingAndSucceeds) {
    Texture texture;
    EXPECT_TRUE(texture.Load(""));
    EXPECT_EQ(texture.texture, nullptr);
    EXPECT_EQ(texture.view, nullptr);
    ASSERT_NE(texture.watcher, nullptr);
    EXPECT_EQ(texture.watcher->GetFileName(), "");
}

TEST_F(TextureTest, Texture_DecodesThePictureWithAFullMipChain) {
    // Left half red, right half blue: level 1 keeps the halves apart, level 2 averages them.
    Data().Write("halves.png", Png(4, 2, {kRed, kRed, kBlue, kBlue, kRed, kRed, kBlue, kBlue}));
    Texture texture;
    ASSERT_TRUE(texture.Load("halves.png"));
    ASSERT_NE(texture.texture, nullptr);
    ASSERT_NE(texture.view, nullptr);
    EXPECT_EQ(texture.texture->Width(), 4u);
    EXPECT_EQ(texture.texture->Height(), 2u);
    EXPECT_EQ(texture.texture->MipLevels(), 3u);

    const auto level0 = ReadLevel(texture.texture, 0);
    ASSERT_EQ(level0.size(), 32u);
    EXPECT_EQ(std::vector<uint8_t>(level0.begin(), level0.begin() + 4),
              (std::vector<uint8_t>{255, 0, 0, 255}));
    EXPECT_EQ(std::vector<uint8_t>(level0.begin() + 8, level0.begin() + 12),
              (std::vector<uint8_t>{0, 0, 255, 255}));
    const auto level1 = ReadLevel(texture.texture, 1);
    ASSERT_EQ(level1.size(), 8u);
    EXPECT_EQ(level1[0], 255);
    EXPECT_EQ(level1[6], 255);
    const auto level2 = ReadLevel(texture.texture, 2);
    ASSERT_EQ(level2.size(), 4u);
    EXPECT_NEAR(level2[0], 128, 2);
    EXPECT_NEAR(level2[2], 128, 2);
}

TEST_F(TextureTest, Texture_MissingFileFailsWithBothMessages) {
    LogCapture log;
    Texture texture;
    EXPECT_FALSE(texture.Load("absent.png"));
    EXPECT_EQ(texture.view, nullptr);
    ASSERT_NE(texture.watcher, nullptr);
    EXPECT_EQ(texture.watcher->GetFileName(), "absent.png");
    const auto texts = log.Texts();
    EXPECT_TRUE(Contains(texts, "File 'absent.png' could not be opened"));
    EXPECT_TRUE(Contains(texts, "Image file 'absent.png' couldn't be opened"));
}

TEST_F(TextureTest, Texture_UndecodableFileFailsWithErrorCreatingTexture) {
    Data().Write("noise.png", "this is no picture at all");
    LogCapture log;
    Texture texture;
    EXPECT_FALSE(texture.Load("noise.png"));
    EXPECT_EQ(texture.texture, nullptr);
    EXPECT_EQ(texture.view, nullptr);
    bool found = false;
    for (const auto& line : log.Lines()) {
        if (line.function == "Texture::Load" && line.text == "Error creating texture from 'noise.png'")
            found = true;
    }
    EXPECT_TRUE(found);
}

TEST_F(TextureTest, Texture_FailedReloadLeavesTheObjectEmptyNotStale) {
    const auto path = Data().Write("picture.png", Png(1, 1, {kRed}));
    Texture texture;
    ASSERT_TRUE(texture.Load("picture.png"));
    ASSERT_NE(texture.view, nullptr);

    Data().Write("picture.png", "truncated");
    Touch(path);
    LogCapture log;
    EXPECT_TRUE(texture.ReloadIfChanged());
    EXPECT_EQ(texture.texture, nullptr);
    EXPECT_EQ(texture.view, nullptr);
}

TEST_F(TextureTest, Texture_EditedFileIsReloadedOnceWithTheNewPicture) {
    const auto path = Data().Write("picture.png", Png(1, 1, {kRed}));
    Texture texture;
    ASSERT_TRUE(texture.Load("picture.png"));
    EXPECT_FALSE(texture.ReloadIfChanged());

    Data().Write("picture.png", Png(2, 1, {kBlue, kBlue}));
    Touch(path);
    LogCapture log;
    EXPECT_TRUE(texture.ReloadIfChanged());
    EXPECT_FALSE(texture.ReloadIfChanged());
    ASSERT_NE(texture.texture, nullptr);
    EXPECT_EQ(texture.texture->Width(), 2u);
    EXPECT_EQ(ReadLevel(texture.texture, 0)[2], 255);
}

TEST_F(TextureTest, Texture_TwoOwnersOfOneFileHoldSeparateCopies) {
    Data().Write("picture.png", Png(1, 1, {kRed}));
    Texture first, second;
    ASSERT_TRUE(first.Load("picture.png"));
    ASSERT_TRUE(second.Load("picture.png"));
    EXPECT_NE(first.texture, second.texture);
}

// A valid black-and-white PNG of side × side pixels, cheap to make at any size: one bit a pixel,
// vertical stripes eight pixels wide. Decoded it is as large as any other picture of its size.
std::string StripedBitPng(uint32_t side) {
    std::string bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return "";
    }
    png_set_write_fn(
        png, &bytes,
        [](png_structp p, png_bytep data, png_size_t length) {
            static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<char*>(data), length);
        },
        nullptr);
    png_set_IHDR(png, info, side, side, 1, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<uint8_t> row(side / 8);
    for (size_t i = 0; i < row.size(); ++i) row[i] = i % 2 ? 0xFF : 0x00;
    for (uint32_t y = 0; y < side; ++y) png_write_row(png, row.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return bytes;
}

TEST_F(TextureTest, Texture_APictureAboveThePixelBudgetIsRefusedNamingFileAndSize) {
    const std::string huge = StripedBitPng(16384);
    ASSERT_LT(huge.size(), 1u << 20);
    Data().Write("huge.png", huge);
    LogCapture log;
    Texture texture;
    // What a refused picture costs in memory is measured by bench/textureBench.cpp.
    EXPECT_FALSE(texture.Load("huge.png"));
    EXPECT_EQ(texture.view, nullptr);
    EXPECT_TRUE(Contains(log.Texts(),
                         "'huge.png': PNG image of 16384 by 16384 pixels is above the budget of 64 "
                         "megapixels"));
}

TEST_F(TextureTest, Texture_An8192PictureReachesTheGpuWithEveryMipLevel) {
    // Its peak memory (the texture with its mips plus the picture while it is uploaded) is measured
    // by bench/textureBench.cpp.
    Data().Write("large.png", StripedBitPng(8192));
    Texture texture;
    ASSERT_TRUE(texture.Load("large.png"));
    ASSERT_NE(texture.texture, nullptr);
    EXPECT_EQ(texture.texture->MipLevels(), 14u);
    const auto smallest = ReadLevel(texture.texture, 13);
    ASSERT_EQ(smallest.size(), 4u);
    EXPECT_NEAR(smallest[0], 128, 2) << "half the stripes are white";
}

// ---------------------------------------------------------------------------------------------------
// Texture3D

std::string CubeFile(int size) {
    std::string text = "TITLE \"ramp\"\nLUT_3D_SIZE " + std::to_string(size) + "\n";
    const int n = size - 1;
    for (int b = 0; b < size; ++b) {
        for (int g = 0; g < size; ++g) {
            for (int r = 0; r < size; ++r) {
                text += std::to_string(double(r) / n) + " " + std::to_string(double(g) / n) + " " +
                        std::to_string(double(b) / n) + "\n";
            }
        }
    }
    return text;
}

TEST_F(TextureTest, Texture3D_TableBecomesAnImmutableCubeWithTheFirstIndexAlongX) {
    Data().Write("ramp.cube", CubeFile(33));
    Texture3D lut;
    EXPECT_TRUE(lut.Load("ramp.cube"));
    ASSERT_NE(lut.texture, nullptr);
    ASSERT_NE(lut.view, nullptr);
    EXPECT_EQ(lut.texture->Width(), 33u);
    EXPECT_EQ(lut.texture->Height(), 33u);
    EXPECT_EQ(lut.texture->Depth(), 33u);
    EXPECT_EQ(lut.texture->MipLevels(), 1u);
    EXPECT_EQ(lut.texture->GetDesc().Usage, Gpu::Usage::IMMUTABLE);
    EXPECT_EQ(lut.view->GetDesc().ViewDimension, Gpu::SrvDimension::TEXTURE3D);

    // Rows 132 bytes apart and slices 132 × 33 apart: the texture reads back as the table itself.
    const auto texels = ReadLevel(lut.texture, 0);
    const auto file = TestSupport::ReadHostFile(Data().Path() / "ramp.cube");
    const CubeLoader table(file.data(), file.size());
    ASSERT_TRUE(table.ok);
    EXPECT_EQ(texels, table.table);
    // Texel (x 32, y 0, z 0) is full red, (0, 32, 0) full green, (0, 0, 32) full blue.
    EXPECT_EQ(texels[32 * 4 + 0], 255);
    EXPECT_EQ(texels[32 * 132 + 1], 255);
    EXPECT_EQ(texels[32 * 132 * 33 + 2], 255);
}

TEST_F(TextureTest, Texture3D_UnparsableTableSucceedsEmptyWithTheManagerMessage) {
    Data().Write("broken.cube", "LUT_3D_SIZE 2\n0 0 0\n# not a row\n");
    LogCapture log;
    Texture3D lut;
    EXPECT_TRUE(lut.Load("broken.cube"));
    EXPECT_EQ(lut.texture, nullptr);
    EXPECT_EQ(lut.view, nullptr);
    const auto& lines = log.Lines();
    EXPECT_NE(
        std::find(lines.begin(), lines.end(),
                  TestSupport::LogLine{"Texture3D::Load", "TextureManager failed to load 'broken.cube'"}),
        lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        TestSupport::LogLine{"Texture3D::Load",
                                             "'broken.cube': row 2 is not three numbers (line 3)"}),
              lines.end());
}

TEST_F(TextureTest, Texture3D_MissingFileSucceedsEmptyWithTheOpenMessage) {
    LogCapture log;
    Texture3D lut;
    EXPECT_TRUE(lut.Load("absent.cube"));
    EXPECT_EQ(lut.view, nullptr);
    const auto& lines = log.Lines();
    EXPECT_NE(
        std::find(lines.begin(), lines.end(),
                  TestSupport::LogLine{"Texture3D::Load", "TextureManager failed to open 'absent.cube'"}),
        lines.end());
}

TEST_F(TextureTest, Texture3D_EditedTableIsReloaded) {
    const auto path = Data().Write("ramp.cube", CubeFile(2));
    Texture3D lut;
    lut.Load("ramp.cube");
    ASSERT_NE(lut.texture, nullptr);
    Data().Write("ramp.cube", CubeFile(4));
    Touch(path);
    LogCapture log;
    EXPECT_TRUE(lut.ReloadIfChanged());
    ASSERT_NE(lut.texture, nullptr);
    EXPECT_EQ(lut.texture->Width(), 4u);
}

}  // namespace
