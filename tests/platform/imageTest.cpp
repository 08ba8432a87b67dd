// Image codec tests.
//   [Helpers]   pictures written in the test: libpng for PNG variants, hand-made bytes for the rest
//   [Decode]    every format to the right RGBA bytes; grey, palette and 16-bit expansion
//   [Hostile]   truncated, empty, oversized and bomb-like inputs fail with a reason
//   [Encode]    PNG round trip, text and resolution chunks, strides, output limit
#include "platform/image/imageCodec.h"

#include <SDL.h>
#include <SDL_image.h>
#include <gtest/gtest.h>
#include <png.h>

#include <csetjmp>
#include <cstring>
#include <string>
#include <vector>

#include "support/tempFolder.h"

namespace {

// ---------------------------------------------------------------------------------------------------
// [Helpers]

using Bytes = std::vector<uint8_t>;

// The 3 by 2 picture every format encodes: red, green, blue / white, half-transparent grey, black.
const Bytes kReference = {255, 0,   0,   255, 0,   255, 0,   255, 0, 0, 255, 255,
                          255, 255, 255, 255, 128, 128, 128, 128, 0, 0, 0,   255};

Bytes Opaque(Bytes rgba) {
    for (size_t i = 3; i < rgba.size(); i += 4) rgba[i] = 255;
    return rgba;
}

void PutBe32(Bytes& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

void PutLe16(Bytes& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void PutLe32(Bytes& out, uint32_t v) {
    PutLe16(out, v & 0xFFFF);
    PutLe16(out, v >> 16);
}

void AppendToBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

struct PngLayout {
    int width, height, colourType, depth;
    Bytes rows;  // packed rows as the PNG holds them (big-endian 16-bit samples)
    Bytes palette;
    Bytes transparency;
};

bool WriteLayout(png_structp png, png_infop info, const PngLayout& layout, Bytes& out) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, &out, AppendToBytes, nullptr);
    png_set_IHDR(png, info, layout.width, layout.height, layout.depth, layout.colourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!layout.palette.empty())
        png_set_PLTE(png, info, reinterpret_cast<png_const_colorp>(layout.palette.data()),
                     static_cast<int>(layout.palette.size() / 3));
    if (!layout.transparency.empty())
        png_set_tRNS(png, info, layout.transparency.data(), static_cast<int>(layout.transparency.size()),
                     nullptr);
    png_write_info(png, info);
    const size_t rowBytes = layout.rows.size() / layout.height;
    for (int y = 0; y < layout.height; ++y) png_write_row(png, layout.rows.data() + y * rowBytes);
    png_write_end(png, nullptr);
    return true;
}

Bytes MakePng(const PngLayout& layout) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    const bool ok = WriteLayout(png, info, layout, out);
    png_destroy_write_struct(&png, &info);
    EXPECT_TRUE(ok);
    return out;
}

// One chunk of a PNG, found by walking the chunk list.
Bytes FindChunk(const Bytes& png, const char* type) {
    for (size_t at = 8; at + 12 <= png.size();) {
        const uint32_t length = png[at] << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3];
        if (std::memcmp(&png[at + 4], type, 4) == 0)
            return Bytes(png.begin() + at + 8, png.begin() + at + 8 + length);
        at += 12 + length;
    }
    return {};
}

Image::Picture MustDecode(const Bytes& bytes) {
    Image::Picture picture;
    std::string error;
    EXPECT_TRUE(Image::Decode(bytes.data(), bytes.size(), picture, error)) << error;
    EXPECT_TRUE(error.empty()) << error;
    return picture;
}

std::string MustFail(const Bytes& bytes, int maxSide = Image::kMaxSide) {
    Image::Picture picture;
    std::string error;
    EXPECT_FALSE(Image::Decode(bytes.data(), bytes.size(), picture, error, maxSide));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(picture.rgba.empty());
    EXPECT_EQ(picture.width, 0);
    return error;
}

Bytes ReadFixture(const char* name) {
    const std::string text =
        TestSupport::ReadHostFile(std::string(VANTRISK_TEST_DATA) + "/platform/data/" + name);
    return Bytes(text.begin(), text.end());
}

// A GIF of 2 by 2 pixels with a four-colour palette; index 3 is transparent. Each pixel is sent as
// a literal code after a clear code, which keeps the code width at 3 bits in every decoder.
Bytes MakeGif(const uint8_t (&indices)[4]) {
    Bytes out = {'G', 'I', 'F', '8', '9', 'a'};
    PutLe16(out, 2);
    PutLe16(out, 2);
    out.insert(out.end(), {0x81, 0, 0});  // global palette of 4 entries
    out.insert(out.end(), {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9});
    out.insert(out.end(), {0x21, 0xF9, 4, 1, 0, 0, 3, 0});  // transparent index 3
    out.push_back(0x2C);
    PutLe16(out, 0);
    PutLe16(out, 0);
    PutLe16(out, 2);
    PutLe16(out, 2);
    out.push_back(0);
    out.push_back(2);  // minimum code size
    uint32_t bits = 0, count = 0;
    Bytes data;
    auto put = [&](uint32_t code) {
        bits |= code << count;
        for (count += 3; count >= 8; count -= 8, bits >>= 8) data.push_back(static_cast<uint8_t>(bits));
    };
    for (uint8_t index : indices) put(4), put(index);
    put(5);
    if (count) data.push_back(static_cast<uint8_t>(bits));
    out.push_back(static_cast<uint8_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    out.insert(out.end(), {0, 0x3B});
    return out;
}

// A 24-bit BMP of the reference picture; bottom-up rows padded to 4 bytes unless `topDown`.
Bytes MakeBmp(bool topDown) {
    Bytes pixels;
    for (int row = 0; row < 2; ++row) {
        const int y = topDown ? row : 1 - row;
        for (int x = 0; x < 3; ++x) {
            const uint8_t* p = &kReference[(y * 3 + x) * 4];
            pixels.insert(pixels.end(), {p[2], p[1], p[0]});
        }
        pixels.insert(pixels.end(), {0, 0, 0});
    }
    Bytes out = {'B', 'M'};
    PutLe32(out, static_cast<uint32_t>(54 + pixels.size()));
    PutLe32(out, 0);
    PutLe32(out, 54);
    PutLe32(out, 40);
    PutLe32(out, 3);
    PutLe32(out, topDown ? static_cast<uint32_t>(-2) : 2u);
    PutLe16(out, 1);
    PutLe16(out, 24);
    for (int i = 0; i < 6; ++i) PutLe32(out, 0);
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

// A TGA of the reference picture, uncompressed, 32 bits, rows top-down (descriptor bit 5).
Bytes MakeTga() {
    Bytes out = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    PutLe16(out, 3);
    PutLe16(out, 2);
    out.push_back(32);
    out.push_back(0x28);  // 8 alpha bits, top-down
    for (size_t i = 0; i < kReference.size(); i += 4)
        out.insert(out.end(), {kReference[i + 2], kReference[i + 1], kReference[i], kReference[i + 3]});
    return out;
}

Bytes MakeQoi() {
    Bytes out = {'q', 'o', 'i', 'f'};
    PutBe32(out, 3);
    PutBe32(out, 2);
    out.insert(out.end(), {4, 0});
    for (size_t i = 0; i < kReference.size(); i += 4) {
        out.push_back(0xFF);
        out.insert(out.end(), kReference.begin() + i, kReference.begin() + i + 4);
    }
    out.insert(out.end(), {0, 0, 0, 0, 0, 0, 0, 1});
    return out;
}

Bytes ReferencePng() {
    return MakePng({3, 2, PNG_COLOR_TYPE_RGBA, 8, kReference, {}, {}});
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// [Decode]

TEST(ImageCodec, DecodesPngToRgbaBytes) {
    const Image::Picture picture = MustDecode(ReferencePng());
    EXPECT_EQ(picture.width, 3);
    EXPECT_EQ(picture.height, 2);
    EXPECT_EQ(picture.rgba, kReference);
}

TEST(ImageCodec, ExpandsGreyPaletteAndSixteenBitPng) {
    // Grey, 8 bits: one sample per pixel.
    EXPECT_EQ(MustDecode(MakePng({2, 1, PNG_COLOR_TYPE_GRAY, 8, {0, 200}, {}, {}})).rgba,
              (Bytes{0, 0, 0, 255, 200, 200, 200, 255}));
    // Grey, 1 bit: 0 is black, 1 is white.
    EXPECT_EQ(MustDecode(MakePng({3, 1, PNG_COLOR_TYPE_GRAY, 1, {0xA0}, {}, {}})).rgba,
              (Bytes{255, 255, 255, 255, 0, 0, 0, 255, 255, 255, 255, 255}));
    // Grey with alpha.
    EXPECT_EQ(MustDecode(MakePng({1, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {90, 30}, {}, {}})).rgba,
              (Bytes{90, 90, 90, 30}));
    // Palette of 4 bits with a transparency table: index 1 half transparent, index 2 opaque.
    EXPECT_EQ(
        MustDecode(
            MakePng({2, 1, PNG_COLOR_TYPE_PALETTE, 4, {0x12}, {0, 0, 0, 10, 20, 30, 40, 50, 60}, {255, 128}}))
            .rgba,
        (Bytes{10, 20, 30, 128, 40, 50, 60, 255}));
    // 16 bits per sample keep the high byte.
    EXPECT_EQ(
        MustDecode(MakePng({1, 1, PNG_COLOR_TYPE_RGB, 16, {0xFF, 0xFF, 0x12, 0x34, 0x00, 0x80}, {}, {}}))
            .rgba,
        (Bytes{255, 0x12, 0, 255}));
    EXPECT_EQ(
        MustDecode(MakePng({1, 1, PNG_COLOR_TYPE_RGBA, 16, {0, 0, 0xFF, 0xFF, 0x80, 0, 0x40, 0x01}, {}, {}}))
            .rgba,
        (Bytes{0, 255, 128, 0x40}));
}

TEST(ImageCodec, DecodesBmpInBothRowOrders) {
    EXPECT_EQ(MustDecode(MakeBmp(false)).rgba, Opaque(kReference));
    EXPECT_EQ(MustDecode(MakeBmp(true)).rgba, Opaque(kReference));
}

TEST(ImageCodec, DecodesGifFirstFrameWithTransparency) {
    const Image::Picture picture = MustDecode(MakeGif({0, 1, 2, 3}));
    ASSERT_EQ(picture.width, 2);
    ASSERT_EQ(picture.height, 2);
    EXPECT_EQ(Bytes(picture.rgba.begin(), picture.rgba.begin() + 12),
              (Bytes{255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255}));
    EXPECT_EQ(picture.rgba[15], 0);  // the transparent index
}

TEST(ImageCodec, DecodesTgaQoiAndPnm) {
    EXPECT_EQ(MustDecode(MakeTga()).rgba, kReference);
    EXPECT_EQ(MustDecode(MakeQoi()).rgba, kReference);
    std::string pnm = "P6\n# made by hand\n3 2\n255\n";
    for (size_t i = 0; i < kReference.size(); i += 4)
        pnm.append(reinterpret_cast<const char*>(&kReference[i]), 3);
    EXPECT_EQ(MustDecode(Bytes(pnm.begin(), pnm.end())).rgba, Opaque(kReference));
    const std::string grey = std::string("P5 2 1 255\n") + '\x10' + '\xF0';
    EXPECT_EQ(MustDecode(Bytes(grey.begin(), grey.end())).rgba, (Bytes{16, 16, 16, 255, 240, 240, 240, 255}));
}

TEST(ImageCodec, DecodesWebPTiffAndPcxFixtures) {
    EXPECT_EQ(MustDecode(ReadFixture("reference.webp")).rgba, kReference);
    EXPECT_EQ(MustDecode(ReadFixture("reference.tif")).rgba, kReference);
    EXPECT_EQ(MustDecode(ReadFixture("reference.pcx")).rgba, Opaque(kReference));
}

TEST(ImageCodec, DecodesJpegWithinCompressionTolerance) {
    // Blocks of flat colour survive JPEG nearly unchanged.
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, 16, 8, 32, SDL_PIXELFORMAT_RGBA32);
    ASSERT_NE(surface, nullptr);
    for (int y = 0; y < 8; ++y) {
        auto* row = static_cast<uint8_t*>(surface->pixels) + y * surface->pitch;
        for (int x = 0; x < 16; ++x) {
            const uint8_t value = x < 8 ? 40 : 220;
            const uint8_t pixel[4] = {value, static_cast<uint8_t>(255 - value), 128, 255};
            std::memcpy(row + x * 4, pixel, 4);
        }
    }
    Bytes file(64 * 1024);
    SDL_RWops* stream = SDL_RWFromMem(file.data(), static_cast<int>(file.size()));
    ASSERT_EQ(IMG_SaveJPG_RW(surface, stream, 0, 100), 0) << SDL_GetError();
    file.resize(static_cast<size_t>(SDL_RWtell(stream)));
    SDL_RWclose(stream);
    SDL_FreeSurface(surface);

    const Image::Picture picture = MustDecode(file);
    ASSERT_EQ(picture.width, 16);
    ASSERT_EQ(picture.height, 8);
    for (int x : {0, 3, 12, 15}) {
        const uint8_t value = x < 8 ? 40 : 220;
        const uint8_t* p = &picture.rgba[(4 * 16 + x) * 4];
        EXPECT_NEAR(p[0], value, 6) << x;
        EXPECT_NEAR(p[1], 255 - value, 6) << x;
        EXPECT_NEAR(p[2], 128, 6) << x;
        EXPECT_EQ(p[3], 255);
    }
}

// ---------------------------------------------------------------------------------------------------
// [Hostile]

TEST(ImageCodec, FailsOnEmptyAndUnknownBytes) {
    EXPECT_EQ(MustFail({}), "no image data");
    Image::Picture picture;
    std::string error;
    EXPECT_FALSE(Image::Decode(nullptr, 100, picture, error));
    EXPECT_EQ(MustFail({'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!', '!', '!', '!', '!',
                        '!', '!'}),
              "unrecognised image format");
}

TEST(ImageCodec, FailsOnEveryTruncationOfTheImageData) {
    const Bytes png = ReferencePng();
    const Bytes gif = MakeGif({0, 1, 2, 3});
    // Cuts anywhere before the end chunk (PNG) or the image data's end (GIF) lose pixels.
    // Cuts that lose pixels: PNG before the end of its image data, GIF before the end of the LZW
    // data, QOI before its end marker, TGA and BMP anywhere.
    const std::vector<std::pair<Bytes, size_t>> files = {{png, png.size() - 12 - 4},
                                                         {gif, gif.size() - 8},
                                                         {MakeQoi(), 52},
                                                         {MakeTga(), 42},
                                                         {MakeBmp(false), 70}};
    for (const auto& [whole, keep] : files) {
        ASSERT_LE(keep, whole.size());
        for (size_t length = 0; length < keep; ++length) {
            SCOPED_TRACE(testing::Message() << "cut at " << length << " of " << whole.size() << " bytes");
            MustFail(Bytes(whole.begin(), whole.begin() + length));
        }
        MustDecode(whole);
    }
    const std::string error = MustFail(Bytes(png.begin(), png.begin() + 20));
    EXPECT_NE(error.find("truncated PNG header"), std::string::npos) << error;
}

TEST(ImageCodec, RefusesImagesAboveTheSizeLimitBeforeDecoding) {
    std::vector<uint8_t> wide(Image::kMaxSide * 3, 7), png;
    std::string error;
    ASSERT_TRUE(Image::EncodePng(wide.data(), Image::kMaxSide, 1, 0, false, "t", png, error)) << error;
    EXPECT_EQ(MustDecode(png).width, Image::kMaxSide);

    wide.resize((Image::kMaxSide + 1) * 3, 7);
    ASSERT_TRUE(Image::EncodePng(wide.data(), Image::kMaxSide + 1, 1, 0, false, "t", png, error)) << error;
    EXPECT_EQ(MustFail(png), "PNG image of 16385 by 1 pixels exceeds the limit of 16384 by 16384");
    EXPECT_NE(MustFail(ReferencePng(), 2).find("exceeds the limit of 2 by 2"), std::string::npos);

    // Headers that claim huge sizes fail at once, whatever follows them.
    Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xC0, 0, 17, 8};
    jpeg.insert(jpeg.end(), {0x4E, 0x20, 0x4E, 0x20, 3});  // 20000 by 20000
    EXPECT_NE(MustFail(jpeg).find("JPEG image of 20000 by 20000"), std::string::npos);
    Bytes gif = MakeGif({0, 1, 2, 3});
    gif[33 + 5] = 0xFF, gif[33 + 6] = 0xFF;  // a first frame 65535 wide in a 2 by 2 screen
    ASSERT_EQ(gif[33], 0x2C);
    EXPECT_NE(MustFail(gif).find("GIF image of 65535 by 2"), std::string::npos);
    Bytes qoi = MakeQoi();
    qoi[4] = 0x7F;
    EXPECT_NE(MustFail(qoi).find("exceeds the limit"), std::string::npos);
    Bytes bmp = MakeBmp(false);
    bmp[22] = 0, bmp[23] = 0, bmp[24] = 0, bmp[25] = 0x80;  // height INT_MIN: top-down and absurd
    EXPECT_NE(MustFail(bmp).find("exceeds the limit"), std::string::npos);
    Bytes tga = MakeTga();
    tga[12] = 0, tga[13] = 0;
    EXPECT_NE(MustFail(tga).find("empty image size"), std::string::npos);
}

TEST(ImageCodec, RefusesPcxWithNegativeLineLength) {
    // The loader would size its line buffer from this signed field without a check.
    Bytes pcx = ReadFixture("reference.pcx");
    ASSERT_GT(pcx.size(), 68u);
    pcx[66] = 0xFF, pcx[67] = 0xFF;
    EXPECT_EQ(MustFail(pcx), "PCX header has an invalid line layout");
}

TEST(ImageCodec, RefusesPngWhoseDataCannotHoldItsPixels) {
    // A header for 8000 by 8000 grey pixels over a few bytes of data: deflate cannot expand so far.
    Bytes bomb = MakePng({1, 1, PNG_COLOR_TYPE_GRAY, 8, {0}, {}, {}});
    const uint8_t side[4] = {0, 0, 0x1F, 0x40};
    std::memcpy(&bomb[16], side, 4);
    std::memcpy(&bomb[20], side, 4);
    EXPECT_NE(MustFail(bomb).find("cannot hold a 8000 by 8000 image"), std::string::npos);
}

TEST(ImageCodec, RefusesPicturesAboveThePixelBudgetFromTheHeader) {
    // Each side within the limit, the product beyond 64 megapixels; the header alone decides.
    Bytes png = MakePng({1, 1, PNG_COLOR_TYPE_GRAY, 8, {0}, {}, {}});
    const uint8_t width[4] = {0, 0, 0x20, 0x01}, height[4] = {0, 0, 0x20, 0x00};
    std::memcpy(&png[16], width, 4);
    std::memcpy(&png[20], height, 4);
    EXPECT_EQ(MustFail(png), "PNG image of 8193 by 8192 pixels is above the budget of 64 megapixels");
    // A smaller budget, also for formats decoded by the other loaders.
    Image::Picture picture;
    std::string error;
    const Bytes bmp = MakeBmp(false);
    EXPECT_FALSE(Image::Decode(bmp.data(), bmp.size(), picture, error, Image::kMaxSide, 3));
    EXPECT_NE(error.find("is above the budget of 3 pixels"), std::string::npos) << error;
    EXPECT_TRUE(picture.rgba.empty());
}

// ---------------------------------------------------------------------------------------------------
// [Encode]

TEST(ImageCodec, EncodedPngDecodesToTheSamePixelsWithoutAlpha) {
    Bytes png;
    std::string error;
    ASSERT_TRUE(Image::EncodePng(kReference.data(), 3, 2, 12, true, "Vantrisk", png, error)) << error;
    EXPECT_EQ(MustDecode(png).rgba, Opaque(kReference));
    const Bytes header = FindChunk(png, "IHDR");
    ASSERT_EQ(header.size(), 13u);
    EXPECT_EQ(header[8], 8);  // bits per sample
    EXPECT_EQ(header[9], 2);  // colour type RGB: 24 bits per pixel
}

TEST(ImageCodec, EveryCompressionLevelDecodesToTheSamePixels) {
    // A smooth 64 by 64 gradient compresses well, so the levels must differ in size.
    std::vector<uint8_t> gradient(64 * 64 * 4);
    for (size_t i = 0; i < gradient.size(); ++i) gradient[i] = uint8_t(i % 4 == 3 ? 255 : (i / 4) % 64 * 4);
    size_t fastest = 0, smallest = 0;
    for (int level : {-1, 0, 1, 6, 9}) {
        Bytes png;
        std::string error;
        ASSERT_TRUE(Image::EncodePng(gradient.data(), 64, 64, 256, true, "x", png, error, SIZE_MAX, level)) << error;
        EXPECT_EQ(MustDecode(png).rgba, gradient) << "level " << level;
        if (level == 0) fastest = png.size();
        if (level == 9) smallest = png.size();
    }
    EXPECT_GT(fastest, smallest);
}

TEST(ImageCodec, EncodedPngCarriesSoftwareTextAnd72Dpi) {
    Bytes png;
    std::string error;
    ASSERT_TRUE(Image::EncodePng(kReference.data(), 3, 2, 12, true, "Vantrisk", png, error)) << error;
    const Bytes text = FindChunk(png, "tEXt");
    EXPECT_EQ(std::string(text.begin(), text.end()), std::string("Software\0Vantrisk", 17));
    EXPECT_EQ(FindChunk(png, "pHYs"), (Bytes{0, 0, 0x0B, 0x13, 0, 0, 0x0B, 0x13, 1}));  // 2835 per metre
}

TEST(ImageCodec, EncodesRgbRowsWithPaddingAndBottomUpStride) {
    // Rows of 2 RGB pixels padded to 8 bytes, stored bottom-up as a GPU read-back gives them.
    const Bytes bottomUp = {1, 2, 3, 4, 5, 6, 0xEE, 0xEE, 10, 20, 30, 40, 50, 60, 0xEE, 0xEE};
    Bytes png;
    std::string error;
    ASSERT_TRUE(Image::EncodePng(bottomUp.data() + 8, 2, 2, -8, false, "x", png, error)) << error;
    EXPECT_EQ(MustDecode(png).rgba, (Bytes{10, 20, 30, 255, 40, 50, 60, 255, 1, 2, 3, 255, 4, 5, 6, 255}));
}

TEST(ImageCodec, EncodingFailsWithReasonAboveTheOutputLimit) {
    Bytes png;
    std::string error;
    EXPECT_FALSE(Image::EncodePng(kReference.data(), 3, 2, 12, true, "x", png, error, 40));
    EXPECT_NE(error.find("size limit"), std::string::npos) << error;
    EXPECT_TRUE(png.empty());
    EXPECT_FALSE(Image::EncodePng(kReference.data(), 0, 2, 12, true, "x", png, error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(Image::EncodePng(kReference.data(), 3, 2, 12, true, "x", png, error, 4096)) << error;
}
