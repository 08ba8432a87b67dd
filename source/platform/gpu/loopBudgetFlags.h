// Where shaders that bound their loops (Hlsl::ShaderCode::loopBudget) say that an invocation was
// cut: one word per such shader in a buffer mapped for good, read a frame or more after the draws
// that may have set it, once a fence says they are done, so the frame never waits for the GPU. A
// word that is set is logged once per source file and entry point.
#pragma once

#include <epoxy/gl.h>

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/hlsl/shaderCode.h"

namespace Gpu::Detail {

class LoopBudgetFlags {
public:
    /// Words for this many shaders at once; any more share one word that is never reported.
    static constexpr uint32_t kSlots = 512;

    /// Makes the buffer; the device's context must be current. `alignment` is the storage-buffer
    /// offset alignment.
    explicit LoopBudgetFlags(GLint alignment);
    ~LoopBudgetFlags();
    LoopBudgetFlags(const LoopBudgetFlags&) = delete;
    LoopBudgetFlags& operator=(const LoopBudgetFlags&) = delete;

    /// A word for the shader made from `code`.
    uint32_t Acquire(const Hlsl::ShaderCode& code);
    /// Gives the word back when its shader goes: waits for the GPU, so that the shader's last draws
    /// are reported too and leave nothing behind for the word's next owner.
    void Release(uint32_t slot);
    /// The buffer and the offset of a word, to bind as the stage's storage block.
    GLuint Buffer() const { return m_buffer; }
    GLintptr OffsetOf(uint32_t slot) const { return static_cast<GLintptr>(slot) * m_stride; }
    /// Reports the words set by the draws that finished since the last call and marks the draws to look at
    /// next with a fence; never waits.
    void Poll();

private:
    struct Owner {
        std::string source;
        std::string entry;
        bool used = false;
    };
    uint32_t WordOf(uint32_t slot) const;
    void ReportIfSet(uint32_t slot);

    GLuint m_buffer = 0;
    GLsizeiptr m_stride = 4;
    const volatile uint32_t* m_words = nullptr;  // the persistent, coherent mapping
    GLsync m_fence = nullptr;
    std::vector<Owner> m_owners;  // slot 0 is the shared spare word
    uint32_t m_inUse = 0;         // slots held by living shaders; none: nothing to poll
    std::set<std::pair<std::string, std::string>> m_reported;
};

}  // namespace Gpu::Detail
