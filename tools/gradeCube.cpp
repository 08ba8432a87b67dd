// Generator of the bundled demo's colour look-up table: a cool-shadows, warm-highlights grade with a
// gentle contrast curve, written as a ".cube" table. Computed from fixed formulas, so a run
// reproduces the same file.
//
//   tool_gradeCube [file] [size]        (default: data/grade.cube, 17)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Rgb {
    double r, g, b;
};

double Luma(const Rgb& c) {
    return 0.2126 * c.r + 0.7152 * c.g + 0.0722 * c.b;
}

// A smooth S around the middle grey: darker shadows, brighter highlights, ends fixed.
double Contrast(double x) {
    const double s = x * x * (3.0 - 2.0 * x);
    return x + 0.35 * (s - x);
}

Rgb Grade(Rgb c) {
    const double luma = Luma(c);
    // Cool toward blue-green in the shadows, warm toward amber in the highlights.
    const double shadow = std::pow(1.0 - luma, 2.0);
    const double highlight = std::pow(luma, 2.0);
    c.r += -0.06 * shadow + 0.08 * highlight;
    c.g += 0.02 * shadow + 0.03 * highlight;
    c.b += 0.08 * shadow - 0.07 * highlight;
    // A little more colour, around the new luma.
    const double graded = Luma(c);
    c = {graded + 1.15 * (c.r - graded), graded + 1.15 * (c.g - graded), graded + 1.15 * (c.b - graded)};
    return {Contrast(std::clamp(c.r, 0.0, 1.0)), Contrast(std::clamp(c.g, 0.0, 1.0)),
            Contrast(std::clamp(c.b, 0.0, 1.0))};
}

}  // namespace

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : "data/grade.cube";
    const int size = argc > 2 ? std::atoi(argv[2]) : 17;
    if (size < 2 || size > 256) {
        std::fprintf(stderr, "size must lie in 2 to 256\n");
        return 1;
    }
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    std::fprintf(file, "TITLE \"Vantrisk cool shadows, warm highlights\"\n");
    std::fprintf(file, "# Made by tools/gradeCube.cpp; red varies fastest.\n");
    std::fprintf(file, "LUT_3D_SIZE %d\nDOMAIN_MIN 0.0 0.0 0.0\nDOMAIN_MAX 1.0 1.0 1.0\n", size);
    const double step = 1.0 / (size - 1);
    for (int b = 0; b < size; ++b) {
        for (int g = 0; g < size; ++g) {
            for (int r = 0; r < size; ++r) {
                const Rgb out = Grade({r * step, g * step, b * step});
                std::fprintf(file, "%.6f %.6f %.6f\n", out.r, out.g, out.b);
            }
        }
    }
    const bool ok = std::fclose(file) == 0;
    if (!ok) std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return ok ? 0 : 1;
}
