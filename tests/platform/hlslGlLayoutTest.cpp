// What GL itself makes of the compiler's GLSL: the driver accepts every stage as a separable program,
// lays its buffers out exactly where the copy lists put the bytes, and finds the vertex and pixel
// stages' interfaces matching. Needs only a headless GL context, no rendering.
#include <epoxy/egl.h>
#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "platform/hlsl/hlslCompiler.h"

namespace {

// A GL 4.5 core context with no surface on Mesa's surfaceless platform, current for one test.
class HeadlessGl {
public:
    HeadlessGl() {
        const char* clients = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
        if (!clients || !std::strstr(clients, "EGL_MESA_platform_surfaceless")) return;
        m_display = eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (m_display == EGL_NO_DISPLAY || !eglInitialize(m_display, nullptr, nullptr)) return;
        if (!eglBindAPI(EGL_OPENGL_API)) return;
        const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                     4,
                                     EGL_CONTEXT_MINOR_VERSION,
                                     5,
                                     EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                     EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                     EGL_NONE};
        // Whatever was current (the device of another test in this process) is current again after.
        m_previousDisplay = eglGetCurrentDisplay();
        m_previousContext = eglGetCurrentContext();
        m_previousDraw = eglGetCurrentSurface(EGL_DRAW);
        m_previousRead = eglGetCurrentSurface(EGL_READ);
        m_context = eglCreateContext(m_display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
        if (m_context != EGL_NO_CONTEXT) eglMakeCurrent(m_display, EGL_NO_SURFACE, EGL_NO_SURFACE, m_context);
    }
    ~HeadlessGl() {
        if (m_context != EGL_NO_CONTEXT) {
            eglMakeCurrent(m_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
            eglDestroyContext(m_display, m_context);
            if (m_previousContext != EGL_NO_CONTEXT)
                eglMakeCurrent(m_previousDisplay, m_previousDraw, m_previousRead, m_previousContext);
        }
        // The display stays initialised: terminating it unloads Mesa's driver, which leaks what it
        // allocated, and the next test initialises the same display again at no cost.
    }
    HeadlessGl(const HeadlessGl&) = delete;
    HeadlessGl& operator=(const HeadlessGl&) = delete;

    bool Ready() const { return m_context != EGL_NO_CONTEXT; }

private:
    EGLDisplay m_display = EGL_NO_DISPLAY;
    EGLContext m_context = EGL_NO_CONTEXT;
    EGLDisplay m_previousDisplay = EGL_NO_DISPLAY;
    EGLContext m_previousContext = EGL_NO_CONTEXT;
    EGLSurface m_previousDraw = EGL_NO_SURFACE;
    EGLSurface m_previousRead = EGL_NO_SURFACE;
};

// A separable program of one stage; 0 with the log in `log` when GL refuses it.
GLuint Program(GLenum stage, const std::string& glsl, std::string& log) {
    const char* text = glsl.c_str();
    const GLuint program = glCreateShaderProgramv(stage, 1, &text);
    GLint linked = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked) {
        char buffer[4096] = {};
        glGetProgramInfoLog(program, sizeof(buffer), nullptr, buffer);
        log = buffer;
        glDeleteProgram(program);
        return 0;
    }
    return program;
}

// Location to GL type of every user-defined input or output of a program, as the driver sees them.
std::map<GLint, GLint> Interface(GLuint program, GLenum interface) {
    std::map<GLint, GLint> types;
    GLint count = 0;
    glGetProgramInterfaceiv(program, interface, GL_ACTIVE_RESOURCES, &count);
    for (GLint i = 0; i < count; ++i) {
        const GLenum properties[] = {GL_LOCATION, GL_TYPE};
        GLint values[2] = {-1, 0};
        glGetProgramResourceiv(program, interface, i, 2, properties, 2, nullptr, values);
        if (values[0] >= 0) types[values[0]] = values[1];
    }
    return types;
}

GLint Property(GLuint program, GLenum interface, const std::string& name, GLenum property) {
    const GLuint index = glGetProgramResourceIndex(program, interface, name.c_str());
    if (index == GL_INVALID_INDEX) return -1;
    GLint value = -1;
    glGetProgramResourceiv(program, interface, index, 1, &property, 1, nullptr, &value);
    return value;
}

const char* const kSource = R"(
cbuffer Constants : register(b0)
{
    float e[2];
    float g;
    float3x3 rot;
    float tail1;
    float tail2;
    row_major float4x3 rows;
    float3 eye;
    float after;
};
struct Sprite { float x; float y; float4 colour; float first; float second; int cell; float unused; };
StructuredBuffer<Sprite> sprites : register(t5);
Texture2D image : register(t0);
SamplerState linearClamp : register(s0);
struct VSOut { float4 position : SV_Position; float2 uv : TEXCOORD0; float4 colour : COLOR0; float3 normal : NORMAL;
               nointerpolation int cell : TEXCOORD3; };
VSOut VS(float3 p : POSITION, float2 uv : TEXCOORD0, float3 n : NORMAL, uint id : SV_InstanceID)
{
    Sprite s = sprites[id];
    VSOut o;
    o.position = float4(mul(float4(p * e[1] + g + s.x + s.y + s.first + s.second + s.unused, 1), rows) + eye, after);
    o.uv = uv * tail1 * tail2;
    o.colour = s.colour;
    o.normal = mul(n, rot);
    o.cell = s.cell;
    return o;
}
struct PSIn { nointerpolation int cell : TEXCOORD3; float3 normal : NORMAL; float4 colour : COLOR0;
              float2 uv : TEXCOORD0; float4 position : SV_Position; };
float4 PS(PSIn i) : SV_Target { return image.Sample(linearClamp, i.uv) * i.colour * float4(i.normal, i.cell); }
)";

const Hlsl::IncludeResolver kNoIncludes = [](const std::string&, const std::string&, std::string&) {
    return false;
};

TEST(HlslGlLayout, DriverPlacesBufferMembersWhereTheCopyListsPutThem) {
    HeadlessGl gl;
    if (!gl.Ready()) GTEST_SKIP() << "no headless GL";
    const auto vs = Hlsl::Compile(kSource, "layout.fx", kNoIncludes, "VS", "vs_4_0");
    ASSERT_TRUE(vs) << vs.errors;
    std::string log;
    const GLuint program = Program(GL_VERTEX_SHADER, vs.code->glsl, log);
    ASSERT_NE(program, 0u) << log << vs.code->glsl;

    // HLSL offsets by hand: e 0/16, g 20, rot 32/48/64, tail1 76, tail2 80, rows 96..156, eye 160, after 172.
    const auto& block = vs.code->constants.at(0);
    const std::map<std::string, uint32_t> hlslOffsets = {{"e[0]", 0},   {"g", 20},     {"rot", 32},
                                                         {"tail1", 76}, {"tail2", 80}, {"rows", 96},
                                                         {"eye", 160},  {"after", 172}};
    const auto destination = [&](uint32_t source) -> int64_t {
        if (block.repack.empty()) return source;
        for (const auto& range : block.repack) {
            if (source >= range.source && source < range.source + range.size) {
                return range.destination + (source - range.source);
            }
        }
        return -1;
    };
    for (const auto& [member, hlslOffset] : hlslOffsets) {
        EXPECT_EQ(Property(program, GL_UNIFORM, block.name + "." + member, GL_OFFSET),
                  destination(hlslOffset))
            << member;
    }
    // Every register of a matrix moves: the third column of rot and the last row of rows.
    EXPECT_EQ(Property(program, GL_UNIFORM, block.name + ".rot", GL_MATRIX_STRIDE), 16);
    EXPECT_EQ(destination(64) - destination(32), 32);
    EXPECT_EQ(destination(144) - destination(96), 48);
    EXPECT_EQ(Property(program, GL_UNIFORM_BLOCK, block.name, GL_BUFFER_DATA_SIZE),
              static_cast<GLint>(block.glSize));
    EXPECT_EQ(Property(program, GL_UNIFORM_BLOCK, block.name, GL_BUFFER_BINDING), 0);

    const auto& sprites = vs.code->structured.at(0);
    const std::string element = sprites.name + "._data[0].";
    const std::map<std::string, uint32_t> tight = {{"x", 0},       {"y", 4},     {"colour", 8}, {"first", 24},
                                                   {"second", 28}, {"cell", 32}, {"unused", 36}};
    for (const auto& [member, hlslOffset] : tight) {
        int64_t expected = -1;
        for (const auto& range : sprites.repack) {
            if (hlslOffset >= range.source && hlslOffset < range.source + range.size) {
                expected = range.destination + (hlslOffset - range.source);
            }
        }
        EXPECT_EQ(Property(program, GL_BUFFER_VARIABLE, element + member, GL_OFFSET), expected) << member;
    }
    EXPECT_EQ(Property(program, GL_BUFFER_VARIABLE, element + "x", GL_TOP_LEVEL_ARRAY_STRIDE),
              static_cast<GLint>(sprites.glStride));
    EXPECT_EQ(Property(program, GL_SHADER_STORAGE_BLOCK, sprites.name, GL_BUFFER_BINDING), 5);
    glDeleteProgram(program);
}

TEST(HlslGlLayout, StagesCompiledApartFormAValidPipeline) {
    HeadlessGl gl;
    if (!gl.Ready()) GTEST_SKIP() << "no headless GL";
    const auto vs = Hlsl::Compile(kSource, "layout.fx", kNoIncludes, "VS", "vs_4_0");
    const auto ps = Hlsl::Compile(kSource, "layout.fx", kNoIncludes, "PS", "ps_4_0");
    ASSERT_TRUE(vs) << vs.errors;
    ASSERT_TRUE(ps) << ps.errors;
    std::string log;
    const GLuint vertex = Program(GL_VERTEX_SHADER, vs.code->glsl, log);
    ASSERT_NE(vertex, 0u) << log;
    const GLuint pixel = Program(GL_FRAGMENT_SHADER, ps.code->glsl, log);
    ASSERT_NE(pixel, 0u) << log;
    ASSERT_EQ(ps.code->textures.size(), 1u);
    EXPECT_GE(glGetUniformLocation(pixel, ps.code->textures[0].name.c_str()), 0);

    // The pixel stage declares its inputs in another order; each semantic still reads its location.
    for (const auto& varying : ps.code->varyings) {
        const auto written = std::find_if(
            vs.code->varyings.begin(), vs.code->varyings.end(),
            [&](const auto& v) { return v.semantic == varying.semantic && v.index == varying.index; });
        ASSERT_NE(written, vs.code->varyings.end()) << varying.semantic;
        EXPECT_EQ(written->location, varying.location) << varying.semantic;
    }
    // And so the driver sees it: every pixel input meets a vertex output of its type at its location.
    const auto written = Interface(vertex, GL_PROGRAM_OUTPUT);
    const auto read = Interface(pixel, GL_PROGRAM_INPUT);
    ASSERT_EQ(read.size(), 4u);
    for (const auto& [location, type] : read) {
        ASSERT_TRUE(written.count(location)) << "location " << location;
        EXPECT_EQ(written.at(location), type) << "location " << location;
    }
    GLuint pipeline = 0;
    glCreateProgramPipelines(1, &pipeline);
    glUseProgramStages(pipeline, GL_VERTEX_SHADER_BIT, vertex);
    glUseProgramStages(pipeline, GL_FRAGMENT_SHADER_BIT, pixel);
    glValidateProgramPipeline(pipeline);
    GLint valid = 0;
    glGetProgramPipelineiv(pipeline, GL_VALIDATE_STATUS, &valid);
    char buffer[4096] = {};
    glGetProgramPipelineInfoLog(pipeline, sizeof(buffer), nullptr, buffer);
    EXPECT_TRUE(valid) << buffer;
    glDeleteProgramPipelines(1, &pipeline);
    glDeleteProgram(vertex);
    glDeleteProgram(pixel);
}

}  // namespace
