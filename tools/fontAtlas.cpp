// Generator of the bundled demo's bitmap font: every character code from 0 to 255 (read as Latin-1)
// drawn from DejaVu Sans Mono Bold through FreeType into its own cell of a grid of 16 by 16 equal
// cells, white, with the glyph's coverage in the alpha channel and a faint halo that softens its
// edge. Codes without a printable character (controls, the space) leave their cell empty. The text
// writer of the show cuts the cells out again with charWidth 18, charHeight 32, charsWide 16 and
// charsHigh 16.
//
//   tool_fontAtlas [output]        (default: data/font.png)
//
// The same font file and FreeType release give the same picture (fonts-dejavu-core and
// libfreetype-dev, installed by scripts/install-deps).
//
// Sections: [glyphs] rendering each cell; [output] PNG writing; [main].
#include <ft2build.h>
#include FT_FREETYPE_H
#include <png.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr const char* kFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf";
constexpr int kCellWidth = 18;
constexpr int kCellHeight = 32;
constexpr int kCellsAcross = 16;
constexpr int kCellsDown = 16;
// Pixels per em, and the baseline's row inside a cell: room for accents above capitals and for
// descenders below, with a margin that keeps the halo and the sampler's filter inside the cell.
constexpr int kPixelsPerEm = 24;
constexpr int kBaseline = 25;
constexpr int kMargin = 2;

// Coverage of the whole grid, one byte per pixel, rows top to bottom.
struct Coverage {
    int width = kCellWidth * kCellsAcross;
    int height = kCellHeight * kCellsDown;
    std::vector<uint8_t> values = std::vector<uint8_t>(size_t(width) * height, 0);

    uint8_t& At(int x, int y) { return values[size_t(y) * width + x]; }
    uint8_t Get(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height) return 0;
        return values[size_t(y) * width + x];
    }
};

// ---------------------------------------------------------------------------------------------------
// Glyphs

bool Printable(int code) {
    return (code > 32 && code < 127) || code > 160;
}

// Draws the glyph of `code` into its cell, centred across the cell on its advance, its baseline on
// kBaseline; whatever would reach past the margin is cut off.
bool DrawGlyph(FT_Face face, int code, Coverage& coverage) {
    if (FT_Load_Char(face, FT_ULong(code), FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) != 0) return false;
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    const int advance = int((slot->advance.x + 32) >> 6);
    const int cellX = (code % kCellsAcross) * kCellWidth;
    const int cellY = (code / kCellsAcross) * kCellHeight;
    const int left = cellX + (kCellWidth - advance) / 2 + slot->bitmap_left;
    const int top = cellY + kBaseline - slot->bitmap_top;
    for (unsigned row = 0; row < bitmap.rows; ++row) {
        for (unsigned column = 0; column < bitmap.width; ++column) {
            const int x = left + int(column), y = top + int(row);
            if (x < cellX + kMargin || x >= cellX + kCellWidth - kMargin) continue;
            if (y < cellY + kMargin || y >= cellY + kCellHeight - kMargin) continue;
            coverage.At(x, y) = bitmap.buffer[row * unsigned(bitmap.pitch) + column];
        }
    }
    return true;
}

// The alpha of each pixel: the glyph's own coverage, or half of its 3 by 3 blur where that is more,
// so that edges fall off over one more pixel. Cells stay apart: the margin holds the halo.
std::vector<uint8_t> SoftAlpha(const Coverage& coverage) {
    static const int kWeights[3] = {1, 2, 1};
    std::vector<uint8_t> alpha(coverage.values.size());
    for (int y = 0; y < coverage.height; ++y) {
        for (int x = 0; x < coverage.width; ++x) {
            int sum = 0;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int cx = x + dx, cy = y + dy;
                    // The halo does not cross into the next cell.
                    if (cx / kCellWidth != x / kCellWidth || cy / kCellHeight != y / kCellHeight) continue;
                    sum += kWeights[dx + 1] * kWeights[dy + 1] * coverage.Get(cx, cy);
                }
            }
            const int halo = (sum + 16) / 32;  // half of the blur (the weights add up to 16)
            alpha[size_t(y) * coverage.width + x] = uint8_t(std::max<int>(coverage.Get(x, y), halo));
        }
    }
    return alpha;
}

// ---------------------------------------------------------------------------------------------------
// Output

bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& alpha) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = false;
    std::vector<uint8_t> row(size_t(width) * 4);
    if (png && info && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                uint8_t* pixel = &row[size_t(x) * 4];
                pixel[0] = pixel[1] = pixel[2] = 255;
                pixel[3] = alpha[size_t(y) * width + x];
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
        ok = true;
    }
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    return std::fclose(file) == 0 && ok;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Main

int main(int argc, char** argv) {
    const std::string output = argc > 1 ? argv[1] : "data/font.png";
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&library) != 0) {
        std::fprintf(stderr, "Cannot start FreeType\n");
        return 1;
    }
    if (FT_New_Face(library, kFontFile, 0, &face) != 0 || FT_Set_Pixel_Sizes(face, 0, kPixelsPerEm) != 0) {
        std::fprintf(stderr, "Cannot open %s (install fonts-dejavu-core)\n", kFontFile);
        FT_Done_FreeType(library);
        return 1;
    }
    Coverage coverage;
    int drawn = 0;
    for (int code = 0; code < kCellsAcross * kCellsDown; ++code) {
        if (!Printable(code)) continue;
        if (!DrawGlyph(face, code, coverage)) {
            std::fprintf(stderr, "Cannot render character %d\n", code);
            continue;
        }
        ++drawn;
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);

    if (!WritePng(output, coverage.width, coverage.height, SoftAlpha(coverage))) {
        std::fprintf(stderr, "Cannot write %s\n", output.c_str());
        return 1;
    }
    std::printf("Wrote %s (%dx%d, %d characters in cells of %dx%d)\n", output.c_str(), coverage.width,
                coverage.height, drawn, kCellWidth, kCellHeight);
    return 0;
}
