// Generator of the program's icon for desktop menus: a cube of three by three by three cubes seen
// from above a corner, lit from the top, on a rounded tile of deep violet with a soft glow behind
// it. Drawn from fixed formulas with 8 by 8 samples a pixel, so a run reproduces the same files.
//
//   tool_appIcon [folder]        (default: packaging; writes icon48.png and icon256.png)
//
// Sections: [drawing] tile, glow and cube; [output] PNG writing; [main].
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Colour {
    double r = 0, g = 0, b = 0, a = 0;
};

Colour Mix(const Colour& under, const Colour& over) {
    const double a = over.a + under.a * (1.0 - over.a);
    if (a <= 0) return {};
    auto channel = [&](double o, double u) { return (o * over.a + u * under.a * (1.0 - over.a)) / a; };
    return {channel(over.r, under.r), channel(over.g, under.g), channel(over.b, under.b), a};
}

// ---------------------------------------------------------------------------------------------------
// Drawing, in units where the icon spans [0, 1] both ways, y downwards.

double Fraction(double x) {
    return x - std::floor(x);
}

// Inside a square of side 0.92 centred on the icon with corners rounded by 0.16.
bool InTile(double x, double y) {
    constexpr double kHalf = 0.46, kRadius = 0.16;
    const double dx = std::max(std::abs(x - 0.5) - (kHalf - kRadius), 0.0);
    const double dy = std::max(std::abs(y - 0.5) - (kHalf - kRadius), 0.0);
    return dx * dx + dy * dy <= kRadius * kRadius;
}

// One visible face of the cube: a parallelogram from `origin` along `u` and `v`, split into 3 by 3
// small cubes by dark seams.
struct Face {
    double ox, oy, ux, uy, vx, vy;
    Colour light;

    // The colour at (x, y) when it lies on the face.
    bool Shade(double x, double y, Colour& out) const {
        const double det = ux * vy - uy * vx;
        const double px = x - ox, py = y - oy;
        const double s = (px * vy - py * vx) / det;
        const double t = (ux * py - uy * px) / det;
        if (s < 0 || s > 1 || t < 0 || t > 1) return false;
        // Each small cube is a little brighter at its centre, so the faces read as bevelled blocks.
        const double cs = Fraction(s * 3.0), ct = Fraction(t * 3.0);
        const double seam = std::min({cs, 1.0 - cs, ct, 1.0 - ct});
        const double bevel = 0.85 + 0.15 * std::min(seam / 0.25, 1.0);
        const double k = seam < 0.06 ? 0.35 : bevel;
        out = {light.r * k, light.g * k, light.b * k, 1.0};
        return true;
    }
};

Colour Sample(double x, double y) {
    Colour colour;
    if (InTile(x, y)) {
        // Deep violet at the top to plum at the bottom.
        const double t = std::clamp((y - 0.04) / 0.92, 0.0, 1.0);
        colour = {0.10 + 0.18 * t, 0.06 + 0.02 * t, 0.28 + 0.10 * t, 1.0};
        // A cyan glow behind the cube.
        const double d = std::hypot(x - 0.5, y - 0.52);
        const double glow = std::exp(-d * d / 0.045) * 0.55;
        colour = Mix(colour, {0.25, 0.85, 1.0, glow});
    }

    // Isometric cube centred at (0.5, 0.53): the corner nearest the viewer sits at the centre.
    constexpr double kCx = 0.5, kCy = 0.53, kSide = 0.30;
    const double cosine = kSide * std::sqrt(3.0) / 2.0, half = kSide / 2.0;
    const Face faces[] = {
        {kCx, kCy, -cosine, -half, cosine, -half, {0.55, 0.92, 1.00, 1}},  // top
        {kCx, kCy, -cosine, -half, 0.0, kSide, {0.16, 0.50, 0.98, 1}},     // left
        {kCx, kCy, cosine, -half, 0.0, kSide, {0.55, 0.18, 0.85, 1}},      // right
    };
    for (const Face& face : faces) {
        Colour shaded;
        if (face.Shade(x, y, shaded)) return Mix(colour, shaded);
    }
    return colour;
}

struct Icon {
    int size = 0;
    std::vector<uint8_t> rgba;
};

Icon Draw(int size) {
    constexpr int kSamples = 8;
    Icon icon{size, std::vector<uint8_t>(size_t(size) * size * 4)};
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            // Premultiplied sums, so that edges against transparency keep their colour.
            double r = 0, g = 0, b = 0, a = 0;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const Colour c =
                        Sample((x + (sx + 0.5) / kSamples) / size, (y + (sy + 0.5) / kSamples) / size);
                    r += c.r * c.a, g += c.g * c.a, b += c.b * c.a, a += c.a;
                }
            }
            uint8_t* p = &icon.rgba[(size_t(y) * size + x) * 4];
            auto byte = [](double v) { return static_cast<uint8_t>(std::clamp(v, 0.0, 1.0) * 255.0 + 0.5); };
            p[0] = a > 0 ? byte(r / a) : 0;
            p[1] = a > 0 ? byte(g / a) : 0;
            p[2] = a > 0 ? byte(b / a) : 0;
            p[3] = byte(a / (kSamples * kSamples));
        }
    }
    return icon;
}

// ---------------------------------------------------------------------------------------------------
// Output

bool WritePng(const std::string& path, const Icon& icon) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = false;
    if (png && info && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_IHDR(png, info, icon.size, icon.size, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_set_compression_level(png, 9);
        png_write_info(png, info);
        for (int y = 0; y < icon.size; ++y) {
            png_write_row(png, const_cast<png_bytep>(&icon.rgba[size_t(y) * icon.size * 4]));
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
    const std::string folder = argc > 1 ? argv[1] : "packaging";
    for (const int size : {48, 256}) {
        const std::string path = folder + "/icon" + std::to_string(size) + ".png";
        if (!WritePng(path, Draw(size))) {
            std::fprintf(stderr, "Cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("Wrote %s (%dx%d)\n", path.c_str(), size, size);
    }
    return 0;
}
