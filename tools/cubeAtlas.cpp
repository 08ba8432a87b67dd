// Generator of the big cube's picture in the rain of cubes: an atlas of 3 columns by 2 rows of 128
// pixel cells, laid out as the cube mesh maps its faces (the sides facing along Z take column 0 of
// the lower row, the bottom column 1 of the lower row, the top column 1 of the upper row, the sides
// facing along X column 2 of the upper row; the two other cells are not used). Each face is a dark
// panel with a glowing rim and a pattern of its own, computed from fixed formulas, so a run
// reproduces the same file.
//
//   tool_cubeAtlas [folder]        (default: data)
//
// Sections: [panels] the four faces; [output] the atlas as a PNG; [main].
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/image/imageCodec.h"

namespace {

constexpr int kCell = 128;
constexpr int kColumns = 3, kRows = 2;

struct Colour {
    double r, g, b;
};

Colour Mix(Colour a, Colour b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

double Smooth(double edge0, double edge1, double x) {
    const double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

// ---------------------------------------------------------------------------------------------------
// Panels: u, v in [0, 1) across one cell, v downwards.

using Pattern = Colour (*)(double u, double v);

// Concentric rings round the centre, hot pink into orange.
Colour Rings(double u, double v) {
    const double d = std::hypot(u - 0.5, v - 0.5);
    const double ring = 0.5 + 0.5 * std::cos(d * 2.0 * 3.14159265 * 5.0);
    const double core = 1.0 - Smooth(0.06, 0.1, d);
    return Mix(Mix({0.35, 0.02, 0.2}, {1.0, 0.25, 0.55}, Smooth(0.3, 0.9, ring)), {1.0, 0.75, 0.3}, core);
}

// Bevelled tiles, four by four, in cyan and teal.
Colour Tiles(double u, double v) {
    const double tu = u * 4.0 - std::floor(u * 4.0), tv = v * 4.0 - std::floor(v * 4.0);
    const bool odd = (int(u * 4.0) + int(v * 4.0)) % 2 != 0;
    const double edge = std::min(std::min(tu, 1.0 - tu), std::min(tv, 1.0 - tv));
    const double bevel = tu + tv < 1.0 ? 1.15 : 0.8;
    const Colour base = odd ? Colour{0.1, 0.75, 0.85} : Colour{0.05, 0.35, 0.5};
    const double shade = edge < 0.12 ? bevel : 1.0;
    return {base.r * shade, base.g * shade, base.b * shade};
}

// Diagonal warning stripes, amber on near black.
Colour Stripes(double u, double v) {
    const double s = (u + v) * 4.0;
    const double stripe = Smooth(0.45, 0.55, std::fabs(s - std::floor(s) - 0.5) * 2.0);
    return Mix({1.0, 0.7, 0.1}, {0.08, 0.06, 0.05}, stripe);
}

// A grid of glowing dots joined by thin traces, green on dark green.
Colour Circuit(double u, double v) {
    const double gu = u * 5.0 - std::floor(u * 5.0) - 0.5, gv = v * 5.0 - std::floor(v * 5.0) - 0.5;
    const double dot = 1.0 - Smooth(0.12, 0.2, std::hypot(gu, gv));
    const bool across = (int(v * 5.0) % 2) == 0;
    const double trace = 1.0 - Smooth(0.03, 0.06, std::fabs(across ? gv : gu));
    const double light = std::max(dot, trace * 0.6);
    return Mix({0.02, 0.12, 0.06}, {0.4, 1.0, 0.5}, light);
}

Colour Unused(double, double) {
    return {0.1, 0.1, 0.12};
}

// A face: its pattern inside a dark frame with a bright inner line, so that the filtering at a
// cell's border blends only frame with frame.
Colour Panel(Pattern pattern, Colour rim, double u, double v) {
    const double edge = std::min(std::min(u, 1.0 - u), std::min(v, 1.0 - v));
    const double frame = Smooth(0.06, 0.075, edge);
    const double line = std::exp(-std::pow((edge - 0.085) / 0.012, 2.0));
    const Colour inside = Mix({0.04, 0.04, 0.06}, pattern(u, v), frame);
    return Mix(inside, rim, line * 0.9);
}

// ---------------------------------------------------------------------------------------------------
// Output

std::vector<uint8_t> Atlas() {
    struct Cell {
        Pattern pattern;
        Colour rim;
    };
    const Cell cells[kRows][kColumns] = {
        {{Unused, {0.1, 0.1, 0.12}}, {Tiles, {0.7, 1.0, 1.0}}, {Circuit, {0.6, 1.0, 0.6}}},
        {{Rings, {1.0, 0.8, 0.9}}, {Stripes, {1.0, 0.9, 0.5}}, {Unused, {0.1, 0.1, 0.12}}},
    };
    const int width = kColumns * kCell, height = kRows * kCell;
    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Cell& cell = cells[y / kCell][x / kCell];
            const double u = (x % kCell + 0.5) / kCell, v = (y % kCell + 0.5) / kCell;
            const Colour c = Panel(cell.pattern, cell.rim, u, v);
            uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
            p[0] = static_cast<uint8_t>(std::clamp(c.r, 0.0, 1.0) * 255.0 + 0.5);
            p[1] = static_cast<uint8_t>(std::clamp(c.g, 0.0, 1.0) * 255.0 + 0.5);
            p[2] = static_cast<uint8_t>(std::clamp(c.b, 0.0, 1.0) * 255.0 + 0.5);
        }
    }
    return rgb;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Main

int main(int argc, char** argv) {
    const std::string path = std::string(argc > 1 ? argv[1] : "data") + "/atlas.png";
    const std::vector<uint8_t> rgb = Atlas();
    std::vector<uint8_t> png;
    std::string error;
    if (!Image::EncodePng(rgb.data(), kColumns * kCell, kRows * kCell, kColumns * kCell * 3, false,
                          "tool_cubeAtlas", png, error, SIZE_MAX, 9)) {
        std::fprintf(stderr, "cannot encode the atlas: %s\n", error.c_str());
        return 1;
    }
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
    if (!file) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    std::printf("wrote %s\n", path.c_str());
    return 0;
}
