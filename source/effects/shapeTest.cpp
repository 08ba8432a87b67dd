// Sections: [noise] the gradient table and its lookup; [figures] one builder per letter; [effect].
#include "effects/shapeTest.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "graphics/sharedGraphics.h"
#include "system/params.h"

namespace Effects {

namespace {

constexpr float kPi = 3.14159265f;

// ---------------------------------------------------------------------------------------------------
// Noise

// The C runtime's linear congruential generator, reproduced so that the table is the same on every
// platform: bits 16 to 30 of the state.
class RuntimeRandom {
public:
    explicit RuntimeRandom(uint32_t seed) : m_state(seed) {}
    int Next() {
        m_state = m_state * 214013u + 2531011u;
        return static_cast<int>((m_state >> 16) & 0x7fff);
    }

private:
    uint32_t m_state;
};

float SCurve(float r) {
    return r * r * (3.0f - 2.0f * r);
}

// ---------------------------------------------------------------------------------------------------
// Figures

Matrix S(float k) {
    return Matrix::Scaling(k);
}
Matrix T(float x, float y, float z) {
    return Matrix::Translation(x, y, z);
}
Matrix Rz(float a) {
    return Matrix::RotationZ(a);
}

float Q(float h) {
    static const EaseFunction ease = Params::GetEaseFunction("QuadraticInOut");
    return static_cast<float>(ease(h));
}

}  // namespace

ShapeTest::ShapeTest() {
    RuntimeRandom random(123);
    const int n = kNoiseSize;
    auto draw = [&] { return static_cast<float>(random.Next() % (n + n) - n) / static_cast<float>(n); };
    for (int i = 0; i < n; ++i) {
        m_noise.permutation[i] = i;
        m_noise.gradient[i] = draw();
        // The 2- and 3-component gradients are not used here; drawing them keeps the sequence.
        for (int j = 0; j < 2 + 3; ++j) draw();
    }
    for (int i = n - 1; i > 0; --i) {
        const int j = random.Next() % n;
        const int k = m_noise.permutation[i];
        m_noise.permutation[i] = m_noise.permutation[j];
        m_noise.permutation[j] = k;
    }
    for (int i = 0; i < 2; ++i) {
        m_noise.permutation[n + i] = m_noise.permutation[i];
        m_noise.gradient[n + i] = m_noise.gradient[i];
    }
}

float ShapeTest::Noise(float x) const {
    constexpr int kMask = kNoiseSize - 1;
    float sum = 0.0f;
    float amplitude = 1.0f;
    for (int octave = 0; octave < 4; ++octave) {
        const float t = x + 4096.0f;
        // Figures ask within a few units of zero; anything else wraps in the table rather than
        // reaching an integer conversion that overflows.
        const float whole = std::isfinite(t) ? std::trunc(std::fmod(t, 4194304.0f)) : 0.0f;
        const int b0 = static_cast<int>(whole) & kMask;
        const int b1 = (b0 + 1) & kMask;
        const float r = std::isfinite(t) ? t - std::trunc(t) : 0.0f;
        const float u = r * m_noise.gradient[m_noise.permutation[b0]];
        const float v = (r - 1.0f) * m_noise.gradient[m_noise.permutation[b1]];
        sum += (u + SCurve(r) * (v - u)) * amplitude;
        amplitude *= 0.5f;
        x *= 2.0f;
    }
    return sum;
}

void ShapeTest::BuildFigure(char letter, float h, std::vector<ShapeInstance>& shapes) const {
    shapes.clear();
    auto add = [&](const Matrix& world, int type, float inner, float outer) {
        AppendShape(shapes, world, type, inner, outer);
    };
    switch (letter) {
        case 'A':
            for (int i = -1; i <= 1; ++i) add(S(50.0f) * T(50.0f * i, 0.0f, 10.0f * h * h), 2, h + 0.5f, h);
            break;
        case 'B': {
            const float z = 20.0f * std::floor(4.0f * (h - 0.5f));
            for (float x : {-1.5f, -0.5f, 0.5f, 1.5f}) {
                add(S(30.0f) * T(30.0f * x, 0.0f, z), 1, h, 1.0f);
                add(S(15.0f) * T(30.0f * x, 0.0f, z), 1, h, 1.0f);
            }
            break;
        }
        case 'C':
            for (int j = -2; j <= 2; ++j) {
                for (int i = -8; i <= 8; ++i) {
                    const float edge = static_cast<float>(std::abs(i)) / 8.0f;
                    add(S(10.0f) * T(10.0f * i, 10.0f * j, 0.0f), 2, 2.0f * h - edge, 4.0f * h - edge);
                }
            }
            break;
        case 'D': {
            const float e = Q(h);
            add(S(50.0f) * Rz(2.0f * kPi * e), 1, 0.75f * std::sin(kPi * e), std::sin(kPi * e));
            break;
        }
        case 'E': {
            const float e = Q(h);
            for (float x : {-1.5f, -0.5f, 0.5f, 1.5f}) {
                add(S(10.0f + 30.0f * h) * Rz(-2.0f * kPi * e) * T(30.0f * x, 0.0f, 0.0f), 2,
                    0.5f * std::sin(kPi * e), std::sin(kPi * e));
            }
            for (int i = 0; i <= 4; ++i) {
                if (Noise(0.41f + i * 0.53f * h * 0.23f) > 0.1f) {
                    add(S(20.0f + 80.0f * h + 20.0f * i), 0, 0.5f + h * (2.0f - h) / 2.0f, 1.0f);
                }
            }
            break;
        }
        case 'F': {
            const float n = Noise(0.73f * h + 0.2f);
            const float s = 10.0f + 30.0f * h * (2.0f - h);
            const float inner = 0.5f + 0.5f * h;
            for (float a : {-0.5f, 0.5f}) {
                const Matrix turn = Rz(a > 0.0f ? kPi : 0.0f);
                for (int i = -1; i <= 1; ++i) {
                    const int type = i == 0 ? 1 : 2;
                    const Matrix place = S(s) * T(50.0f * i, 40.0f * a, 0.0f);
                    add(turn * place, type, inner, 1.0f);
                    if (n < 0.1f) {
                        add(turn * S(0.75f) * place, type, inner, 1.0f);
                        add(turn * S(0.75f) * S(0.75f) * place, type, inner, 1.0f);
                    }
                }
            }
            break;
        }
        case 'G': {
            const float c = 1.0f - h;
            const float z = 200.0f * (c - 0.5f);
            const int type = h <= 0.5f ? 2 : 0;
            for (int i = -2; i <= 2; ++i) {
                add(S(50.0f) * T(50.0f * i, 0.0f, z), type, c - 0.1f, c);
                if (h > 0.5f) {
                    const float r = 2.0f * (h - 0.5f);
                    add(S(50.0f + 100.0f * r * (2.0f - r)) * T(50.0f * i, 0.0f, z), type, 0.8f + 0.21f * h,
                        1.0f);
                }
            }
            break;
        }
        case 'H':
            for (int k = 0; static_cast<float>(k) < 10.0f * h; ++k) {
                const Matrix turn = Rz(2.0f * kPi * k / 10.0f);
                add(S(25.0f) * T(0.0f, 50.0f, -10.0f) * turn, 1, 0.8f, 1.0f);
                if (h > 0.5f) add(S(25.0f) * T(0.0f, 50.0f, 10.0f) * turn, 1, 0.8f, 1.0f);
            }
            for (int d = 0; d < 20; ++d) {
                add(S(10.0f) * T(0.0f, 30.0f + 20.0f * h * (2.0f - h), 0.0f) * Rz(2.0f * kPi * d / 20.0f), 1,
                    0.8f, 1.0f);
            }
            break;
        case 'I': {
            if (h == 0.5f) break;
            const float e = Q(h);
            const float z = 60.0f * e - 30.0f;
            const float grown = h * (2.0f - h);
            for (float a : {-0.5f, 0.5f}) {
                for (int i = -1; i <= 1; ++i) {
                    const bool odd = i % 2 != 0;
                    const Matrix turn = Rz((a == 0.5f) != odd ? kPi : 0.0f);
                    const Matrix place = T(30.0f * i, a * (odd ? 50.0f : 30.0f), z);
                    if (h < 0.5f) {
                        add(turn * S(40.0f) * place, 1, 1.0f - h / 2.0f, 1.0f);
                        add(turn * S(20.0f) * place, 1, 1.0f - h / 2.0f, 1.0f);
                    } else {
                        // The triangle breaks into three at its corners.
                        for (const Vec2 corner : {Vec2{0.0f, -0.8f}, Vec2{0.65f, 0.4f}, Vec2{-0.65f, 0.4f}}) {
                            add(T(corner.x, corner.y, 0.0f) * turn * S(15.0f) * place, 1, grown,
                                grown - 0.3f);
                        }
                    }
                }
            }
            break;
        }
        default:
            break;
    }
}

void ShapeTest::BuildShapes(double t, const std::string& sequence, std::vector<ShapeInstance>& shapes) const {
    shapes.clear();
    // A time that is no number, or before the first letter, has no letter due.
    if (!(t >= 0.0)) return;
    const double slot = std::floor(t * 0.5);
    if (!(slot < static_cast<double>(sequence.size()))) return;
    const float h = std::fmod(static_cast<float>(t), 2.0f) * 0.5f;
    BuildFigure(sequence[static_cast<size_t>(slot)], h, shapes);
}

void ShapeTest::Render(double localTime, RenderTexturePair* target) {
    const std::string sequence = HasParam("sequence") ? GetParam("sequence")->GetAsString() : "ABCD";
    BuildShapes(localTime, sequence, m_shapes);
    if (m_shapes.empty()) return;
    Vec4 colour{1.0f, 0.0f, 0.0f, 1.0f};
    if (HasParam("colour")) colour = GetParam("colour")->GetAsVec4(localTime);
    Gpu::Context& context = *g_graphics.context;
    context.OMSetBlendState(g_graphics.additiveBlendState, nullptr, 0xFFFFFFFF);
    Draw(m_shapes, colour, target);
    context.OMSetBlendState(g_graphics.alphaBlendState, nullptr, 0xFFFFFFFF);
}

}  // namespace Effects
