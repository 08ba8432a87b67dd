#include "support/gpuFixture.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>

#include "platform/hlsl/hlslCompiler.h"

namespace TestSupport {

std::array<int, 4> Image::At(uint32_t x, uint32_t y) const {
    const uint8_t* p = rgba.data() + (size_t(y) * width + x) * 4;
    return {p[0], p[1], p[2], p[3]};
}

const Gpu::DeviceSet& SharedGpu() {
    static const Gpu::DeviceSet set = Gpu::CreateHeadlessDevice(800, 600);
    return set;
}

bool WritePng(const std::filesystem::path& path, const Image& image) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = false;
    if (png && info && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (uint32_t y = 0; y < image.height; ++y) {
            png_write_row(png, const_cast<png_bytep>(image.rgba.data() + size_t(y) * image.width * 4));
        }
        png_write_end(png, nullptr);
        ok = true;
    }
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    std::fclose(file);
    return ok;
}

::testing::AssertionResult ImagesNear(const Image& actual, const Image& expected, int tolerance,
                                      double allowedBad, const std::string& name) {
    if (actual.width != expected.width || actual.height != expected.height) {
        return ::testing::AssertionFailure() << name << ": size " << actual.width << "x" << actual.height
                                             << " instead of " << expected.width << "x" << expected.height;
    }
    Image diff{actual.width, actual.height, std::vector<uint8_t>(actual.rgba.size(), 0)};
    size_t bad = 0;
    int worst = 0;
    uint32_t firstX = 0, firstY = 0;
    for (uint32_t y = 0; y < actual.height; ++y) {
        for (uint32_t x = 0; x < actual.width; ++x) {
            const size_t at = (size_t(y) * actual.width + x) * 4;
            int largest = 0;
            for (int c = 0; c < 4; ++c)
                largest = std::max(largest, std::abs(actual.rgba[at + c] - expected.rgba[at + c]));
            diff.rgba[at + 0] = static_cast<uint8_t>(std::min(255, largest * 8));
            diff.rgba[at + 3] = 255;
            if (largest > tolerance) {
                if (bad == 0) firstX = x, firstY = y;
                ++bad;
            }
            worst = std::max(worst, largest);
        }
    }
    const double fraction = double(bad) / std::max<size_t>(1, size_t(actual.width) * actual.height);
    if (fraction <= allowedBad) return ::testing::AssertionSuccess();
    const std::filesystem::path folder = std::filesystem::path(VANTRISK_BUILD_DIR) / "gpu-test-images";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    WritePng(folder / (name + "-actual.png"), actual);
    WritePng(folder / (name + "-expected.png"), expected);
    WritePng(folder / (name + "-diff.png"), diff);
    const auto a = actual.At(firstX, firstY), e = expected.At(firstX, firstY);
    return ::testing::AssertionFailure()
           << name << ": " << bad << " pixels differ by more than " << tolerance << " (worst " << worst
           << "); first at (" << firstX << ", " << firstY << "): " << a[0] << "," << a[1] << "," << a[2]
           << "," << a[3] << " instead of " << e[0] << "," << e[1] << "," << e[2] << "," << e[3]
           << "; images in " << folder.string();
}

::testing::AssertionResult PixelNear(const Image& image, uint32_t x, uint32_t y, std::array<int, 4> expected,
                                     int tolerance) {
    if (x >= image.width || y >= image.height) {
        return ::testing::AssertionFailure() << "(" << x << ", " << y << ") lies outside the image";
    }
    const auto actual = image.At(x, y);
    for (int c = 0; c < 4; ++c) {
        if (std::abs(actual[c] - expected[c]) > tolerance) {
            return ::testing::AssertionFailure()
                   << "pixel (" << x << ", " << y << ") is " << actual[0] << "," << actual[1] << ","
                   << actual[2] << "," << actual[3] << " instead of " << expected[0] << "," << expected[1]
                   << "," << expected[2] << "," << expected[3];
        }
    }
    return ::testing::AssertionSuccess();
}

std::shared_ptr<const Hlsl::ShaderCode> CompileHlsl(const std::string& source, const std::string& entry,
                                                    const std::string& target) {
    const Hlsl::IncludeResolver none = [](const std::string&, const std::string&, std::string&) {
        return false;
    };
    Hlsl::CompileResult result = Hlsl::Compile(source, "test.fx", none, entry, target);
    EXPECT_TRUE(result) << "compiling " << entry << ": " << result.errors;
    return result.code;
}

void GpuTest::SetUp() {
    if (!SharedGpu()) GTEST_SKIP() << "No headless GPU device can be made on this machine (EGL)";
    Context().ClearState();
    Counters().Reset();
}

void GpuTest::TearDown() {
    if (!SharedGpu()) return;
    EXPECT_EQ(Counters().glErrors, 0u) << "GL reported errors during the test (see the log)";
    Context().ClearState();
}

GpuTest::Target GpuTest::MakeTarget(uint32_t width, uint32_t height, std::array<float, 4> clear,
                                    Gpu::Format format) {
    Target target;
    Gpu::Texture2DDesc desc;
    desc.Width = width;
    desc.Height = height;
    desc.Format = format;
    desc.BindFlags = Gpu::BIND_RENDER_TARGET | Gpu::BIND_SHADER_RESOURCE;
    target.texture = Device().CreateTexture2D(desc);
    EXPECT_TRUE(target.texture);
    if (!target.texture) return target;
    target.view = Device().CreateRenderTargetView(target.texture);
    target.resource = Device().CreateShaderResourceView(target.texture);
    Context().ClearRenderTargetView(target.view, clear.data());
    return target;
}

Image GpuTest::Read(const Gpu::Texture2DPtr& texture) {
    Image image;
    if (!texture) return image;
    image.width = texture->Width();
    image.height = texture->Height();
    EXPECT_TRUE(Context().ReadTexture(texture, 0, image.rgba));
    return image;
}

Gpu::ShaderResourceViewPtr GpuTest::MakeTexture(uint32_t width, uint32_t height,
                                                const std::vector<uint32_t>& pixels) {
    Gpu::Texture2DDesc desc;
    desc.Width = width;
    desc.Height = height;
    Gpu::SubresourceData data{pixels.data(), width * 4, 0};
    auto texture = Device().CreateTexture2D(desc, &data);
    EXPECT_TRUE(texture);
    return Device().CreateShaderResourceView(texture);
}

void GpuTest::BindTarget(const Target& target, const Gpu::DepthStencilViewPtr& depth) {
    Context().OMSetRenderTargets(target.view, depth);
    const Gpu::Viewport viewport{0, 0, float(target.texture->Width()), float(target.texture->Height()), 0, 1};
    Context().RSSetViewports(1, &viewport);
}

GpuTest::Program GpuTest::MakeProgram(const std::string& source, const std::string& pixelEntry) {
    Program program;
    program.vertexCode = CompileHlsl(source, "VS", "vs_4_0");
    program.pixelCode = CompileHlsl(source, pixelEntry, "ps_4_0");
    if (program.vertexCode) program.vertex = Device().CreateVertexShader(program.vertexCode);
    if (program.pixelCode) program.pixel = Device().CreatePixelShader(program.pixelCode);
    EXPECT_TRUE(program.vertex && program.pixel);
    return program;
}

bool GpuTest::BindQuad(const Gpu::VertexShaderPtr& vertex,
                       const std::shared_ptr<const Hlsl::ShaderCode>& vertexCode,
                       const Gpu::PixelShaderPtr& pixel) {
    if (!m_quad) {
        Gpu::BufferDesc desc{sizeof kQuad, Gpu::Usage::IMMUTABLE, Gpu::BIND_VERTEX_BUFFER, 0, 0, 0};
        Gpu::SubresourceData data{kQuad, 0, 0};
        m_quad = Device().CreateBuffer(desc, &data);
    }
    m_quadLayout = vertexCode ? Device().CreateInputLayout(kQuadLayout, 3, *vertexCode) : nullptr;
    EXPECT_TRUE(vertex && pixel && m_quad && m_quadLayout) << "a stage, the quad or its layout is missing";
    if (!vertex || !pixel || !m_quad || !m_quadLayout) return false;
    Context().IASetInputLayout(m_quadLayout);
    Context().VSSetShader(vertex);
    Context().PSSetShader(pixel);
    Context().IASetVertexBuffers(0, m_quad, sizeof(QuadVertex), 0);
    Context().IASetPrimitiveTopology(Gpu::PrimitiveTopology::TRIANGLESTRIP);
    return true;
}

Gpu::SamplerStatePtr GpuTest::PointSampler() {
    Gpu::SamplerDesc desc;
    desc.Filter = Gpu::Filter::MIN_MAG_MIP_POINT;
    desc.AddressU = desc.AddressV = desc.AddressW = Gpu::TextureAddressMode::CLAMP;
    desc.MaxAnisotropy = 0;
    return Device().CreateSamplerState(desc);
}

}  // namespace TestSupport
