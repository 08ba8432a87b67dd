// What every object of one device shares: the GL context, the counters, the limits, the small fixed
// objects that stand in for "nothing bound", the interned buffer layouts and the program pipelines.
// Each object holds the core, so the context outlives the last object that has GL names in it.
#pragma once

#include <epoxy/gl.h>

#include <array>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "platform/gpu/glContext.h"
#include "platform/gpu/gpuTypes.h"
#include "platform/gpu/loopBudgetFlags.h"
#include "platform/hlsl/shaderCode.h"

namespace Gpu::Detail {

/// The GL texture target of a shader's texture declaration.
GLenum TextureTarget(Hlsl::TextureType type);

class DeviceCore {
public:
    explicit DeviceCore(std::unique_ptr<GlContext> context);
    ~DeviceCore();
    DeviceCore(const DeviceCore&) = delete;
    DeviceCore& operator=(const DeviceCore&) = delete;

    /// Sets the D3D conventions and the fixed objects up; false after logging when GL is too old.
    bool Initialise();
    /// Makes the device's context current (cheap when it already is).
    void Use() { m_context->Use(); }
    GlContext& Context() { return *m_context; }

    /// A fresh id for an object; ids are never reused, unlike GL names.
    uint64_t NextId() { return ++m_lastId; }
    /// Records that GL names were deleted, so that caches of bound names start afresh.
    void NoteDeletion() { ++deletions; }

    /// A small id for a buffer layout (its serialised copy list); equal layouts get equal ids; 0 is
    /// the identity layout.
    uint64_t InternLayout(const std::string& key);

    /// The program pipeline joining two separable programs (either may be 0), created on first use.
    GLuint Pipeline(uint64_t vertexId, GLuint vertexProgram, uint64_t pixelId, GLuint pixelProgram);
    /// Deletes the pipelines that use the program with this id (its shader is going away).
    void ForgetProgram(uint64_t id);

    /// A buffer of at least `size` zero bytes, bound where a shader reads a block nothing feeds.
    GLuint ZeroBuffer(uint32_t size);

    /// The words through which shaders with a loop budget report a cut, made on first use.
    LoopBudgetFlags& LoopBudget();
    /// Reports the loop budgets reached by draws that have finished; never waits (a frame's end).
    void PollLoopBudget() {
        if (m_loopBudget) m_loopBudget->Poll();
    }
    /// The storage binding of a stage's loop-budget word: the last of the stage's range.
    GLuint LoopBudgetBinding(bool pixel) const {
        return (pixel ? 2 * storageStageBase : storageStageBase) - 1;
    }

    Counters counters;
    uint64_t deletions = 0;
    std::string renderer;
    int videoMemoryMB = 0;

    // Each stage gets its own range of GL binding points, because the two stages of the interface this
    // stands for have separate register files while GL bindings are shared by the whole pipeline.
    GLuint uniformStageBase = 16;
    GLuint storageStageBase = 16;
    GLuint textureStageBase = 32;
    GLint storageOffsetAlignment = 16;  ///< a structured view's first byte must be a multiple of this

    /// A 1x1 texture of transparent black of `target`'s kind: what a shader reads through an empty slot.
    GLuint ZeroTexture(Hlsl::TextureType type) const { return m_zeroTextures[static_cast<size_t>(type)]; }
    GLuint pointClampSampler = 0;
    /// The driver's identity for the program cache; "" when the driver gives no program binaries.
    std::string programDriver;
    GLuint defaultSampler = 0;  ///< what a null sampler slot means: linear, clamp

private:
    std::unique_ptr<GlContext> m_context;
    uint64_t m_lastId = 0;
    std::map<std::string, uint64_t> m_layouts;
    std::map<std::pair<uint64_t, uint64_t>, GLuint> m_pipelines;
    GLuint m_zeroBuffer = 0;
    uint32_t m_zeroBufferSize = 0;
    std::unique_ptr<LoopBudgetFlags> m_loopBudget;
    std::array<GLuint, Hlsl::kTextureTypes> m_zeroTextures{};  ///< by texture shape
};

}  // namespace Gpu::Detail
