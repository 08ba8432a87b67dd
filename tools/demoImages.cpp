// Generator of the bundled demo's pictures: the wall texture the tunnel is lined with, the colour
// ramp the grading pass maps brightness through, and the small pictures the cube scenes are built
// from (an emblem of cube columns, a wall of cubes, the colours and height map of a torus). All are
// computed from fixed formulas and a fixed hash, so a run reproduces the same files.
//
//   tool_demoImages [folder]        (default: data)
//
// Sections: [pictures] the screen effects' images, then the cube scenes'; [output] PNG writing; [main].
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // rows top to bottom

    void Set(int x, int y, double r, double g, double b) {
        uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
        p[0] = static_cast<uint8_t>(std::clamp(r, 0.0, 1.0) * 255.0 + 0.5);
        p[1] = static_cast<uint8_t>(std::clamp(g, 0.0, 1.0) * 255.0 + 0.5);
        p[2] = static_cast<uint8_t>(std::clamp(b, 0.0, 1.0) * 255.0 + 0.5);
    }
};

// ---------------------------------------------------------------------------------------------------
// Pictures

uint32_t Hash(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

double Smooth(double edge0, double edge1, double x) {
    const double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

// 256 by 256 and seamless when repeated: 8 by 8 bevelled tiles in four hues with dark grout, every
// third tile carrying a glowing ring, so that motion through the tunnel reads clearly.
Picture Wall() {
    constexpr int kSize = 256, kTile = 32;
    const double hues[4][3] = {
        {0.10, 0.55, 0.95}, {0.95, 0.25, 0.55}, {0.20, 0.85, 0.60}, {0.95, 0.70, 0.15}};
    Picture picture{kSize, kSize, std::vector<uint8_t>(size_t(kSize) * kSize * 3)};
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const int tx = x / kTile, ty = y / kTile;
            const uint32_t h = Hash(uint32_t(tx) * 31u + uint32_t(ty) * 977u + 7u);
            const double* hue = hues[h % 4];
            // Distance to the tile's edge, 0 at the grout.
            const double u = (x % kTile + 0.5) / kTile, v = (y % kTile + 0.5) / kTile;
            const double edge = std::min(std::min(u, 1.0 - u), std::min(v, 1.0 - v));
            const double grout = Smooth(0.02, 0.06, edge);
            // Lit from the top left: the upper and left rims are brighter than the lower and right.
            const double rim = 1.0 - Smooth(0.04, 0.2, edge);
            const double light = std::min(u, v) < std::min(1.0 - u, 1.0 - v) ? 0.25 : -0.25;
            const double bevel = 0.7 + 0.3 * (1.0 - rim) + light * rim;
            const double shade = 0.45 + 0.35 * double((h >> 8) % 100) / 100.0;
            double r = hue[0] * shade * bevel, g = hue[1] * shade * bevel, b = hue[2] * shade * bevel;
            if ((h >> 16) % 3 == 0) {
                const double d = std::hypot(u - 0.5, v - 0.5);
                const double ring = std::exp(-std::pow((d - 0.28) / 0.05, 2.0));
                r += ring * 0.9;
                g += ring * 0.9;
                b += ring * 0.8;
            }
            picture.Set(x, y, r * grout + 0.03, g * grout + 0.03, b * grout + 0.05);
        }
    }
    return picture;
}

// 256 by 4, left to right from dark to light: night blue, violet, red, orange, pale yellow.
Picture Ramp() {
    constexpr int kWidth = 256, kHeight = 4;
    const double stops[5][3] = {
        {0.02, 0.02, 0.10}, {0.30, 0.05, 0.45}, {0.85, 0.15, 0.30}, {1.00, 0.55, 0.10}, {1.00, 0.95, 0.75}};
    Picture picture{kWidth, kHeight, std::vector<uint8_t>(size_t(kWidth) * kHeight * 3)};
    for (int x = 0; x < kWidth; ++x) {
        const double t = double(x) / (kWidth - 1) * 4.0;
        const int i = std::min(3, static_cast<int>(t));
        const double f = t - i;
        for (int y = 0; y < kHeight; ++y) {
            picture.Set(x, y, stops[i][0] + (stops[i + 1][0] - stops[i][0]) * f,
                        stops[i][1] + (stops[i + 1][1] - stops[i][1]) * f,
                        stops[i][2] + (stops[i + 1][2] - stops[i][2]) * f);
        }
    }
    return picture;
}

// The cube scenes read their pictures pixel by pixel: exact black makes no cube (magenta none on the
// torus), and brightness sets each column's height, so these are small and drawn with that in mind.

// A hue on the wheel from 0 to 1, full saturation.
void Hue(double h, double& r, double& g, double& b) {
    h = (h - std::floor(h)) * 6.0;
    r = std::clamp(std::abs(h - 3.0) - 1.0, 0.0, 1.0);
    g = std::clamp(2.0 - std::abs(h - 2.0), 0.0, 1.0);
    b = std::clamp(2.0 - std::abs(h - 4.0), 0.0, 1.0);
}

// 24 by 24: a cyan ring round a four-pointed star on black, the star gold at its heart (the tallest
// columns) and magenta at its tips, so each face of the big cube carries a relief that reads from
// any side.
Picture Emblem() {
    constexpr int kSize = 24;
    Picture picture{kSize, kSize, std::vector<uint8_t>(size_t(kSize) * kSize * 3)};
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const double u = (x + 0.5) / kSize * 2.0 - 1.0, v = (y + 0.5) / kSize * 2.0 - 1.0;
            const double d = std::hypot(u, v);
            const double star = std::pow(std::abs(u), 0.5) + std::pow(std::abs(v), 0.5);
            const bool ring = d > 0.78 && d < 0.98;
            const bool inStar = star < 0.95;
            if (!ring && !inStar) continue;  // black: no column
            if (ring) {
                // Cool and bright, a little lighter on the upper left.
                const double shine = 0.8 + 0.2 * (-u - v) * 0.7;
                picture.Set(x, y, 0.3 * shine, 0.85 * shine, 1.0 * shine);
                continue;
            }
            // The star from gold at its heart to magenta at its tips.
            const double t = star / 0.95;
            picture.Set(x, y, 1.0 - 0.05 * t, 0.85 - 0.6 * t, 0.3 + 0.45 * t);
        }
    }
    return picture;
}

// 48 by 32: a sunset over the sea, dark violet sky to orange at the horizon, a sun whose reflection
// breaks up on the water; nothing in it is pure black.
Picture Sunset() {
    constexpr int kWidth = 48, kHeight = 32, kHorizon = 20;
    Picture picture{kWidth, kHeight, std::vector<uint8_t>(size_t(kWidth) * kHeight * 3)};
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const double sx = x - kWidth * 0.5 + 0.5;
            double r, g, b;
            if (y < kHorizon) {
                const double t = double(y) / kHorizon;
                r = 0.18 + 0.8 * t * t;
                g = 0.05 + 0.45 * t * t * t;
                b = 0.35 - 0.2 * t;
                const double sun = std::hypot(sx, y - 15.0);
                if (sun < 5.0) {
                    r = 1.0;
                    g = 0.85 - sun * 0.06;
                    b = 0.35;
                }
                // A ridge of hills against the sky.
                const double ridge = 17.0 + 1.6 * std::sin(x * 0.31) + 1.1 * std::sin(x * 0.73 + 1.0);
                if (y > ridge) {
                    r = 0.12;
                    g = 0.04;
                    b = 0.16;
                }
            } else {
                const double depth = double(y - kHorizon) / (kHeight - kHorizon);
                r = 0.1 + 0.25 * (1.0 - depth);
                g = 0.05 + 0.1 * (1.0 - depth);
                b = 0.25 + 0.2 * depth;
                const uint32_t h = Hash(uint32_t(x) * 131u + uint32_t(y) * 71u);
                const double glitter = std::abs(sx) < 5.0 - depth * 2.0 && h % 3 != 0 ? 1.0 : 0.0;
                r += glitter * 0.8;
                g += glitter * 0.55;
                b += glitter * 0.1;
            }
            picture.Set(x, y, r, g, b);
        }
    }
    return picture;
}

// 72 by 18: rainbow bands round the ring, light and dark stripes round the tube, and every twelfth
// column magenta so the torus opens in six gaps.
Picture TorusColours() {
    constexpr int kWidth = 72, kHeight = 18;
    Picture picture{kWidth, kHeight, std::vector<uint8_t>(size_t(kWidth) * kHeight * 3)};
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            if (x % 12 == 11) {
                picture.Set(x, y, 1.0, 0.0, 1.0);
                continue;
            }
            double r, g, b;
            Hue(double(x) / kWidth, r, g, b);
            const double stripe = y % 6 < 3 ? 1.0 : 0.6;
            picture.Set(x, y, (0.2 + 0.8 * r) * stripe, (0.2 + 0.8 * g) * stripe, (0.2 + 0.8 * b) * stripe);
        }
    }
    return picture;
}

// 72 by 18, in red: waves running round the ring, twice round the tube, so the surface ripples.
Picture TorusHeights() {
    constexpr int kWidth = 72, kHeight = 18;
    constexpr double kTau = 6.283185307179586;
    Picture picture{kWidth, kHeight, std::vector<uint8_t>(size_t(kWidth) * kHeight * 3)};
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const double wave = 0.5 + 0.5 * std::sin(x * kTau / 12.0) * std::cos(y * kTau * 2.0 / kHeight);
            picture.Set(x, y, wave, 0.0, 0.0);
        }
    }
    return picture;
}

// ---------------------------------------------------------------------------------------------------
// Output

bool WritePng(const std::string& path, const Picture& picture) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = false;
    if (png && info && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_IHDR(png, info, picture.width, picture.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < picture.height; ++y) {
            png_write_row(png, const_cast<png_bytep>(&picture.rgb[size_t(y) * picture.width * 3]));
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
    const std::string folder = argc > 1 ? argv[1] : "data";
    const struct {
        const char* name;
        Picture picture;
    } outputs[] = {{"tunnel.png", Wall()},
                   {"palette.png", Ramp()},
                   {"emblem.png", Emblem()},
                   {"sunset.png", Sunset()},
                   {"torusColours.png", TorusColours()},
                   {"torusHeights.png", TorusHeights()}};
    for (const auto& output : outputs) {
        const std::string path = folder + "/" + output.name;
        if (!WritePng(path, output.picture)) {
            std::fprintf(stderr, "Cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("Wrote %s (%dx%d)\n", path.c_str(), output.picture.width, output.picture.height);
    }
    return 0;
}
