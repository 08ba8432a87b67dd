#include "platform/gpu/loopBudgetFlags.h"

#include <algorithm>

#include "system/log.h"

namespace Gpu::Detail {

LoopBudgetFlags::LoopBudgetFlags(GLint alignment)
    : m_stride(std::max<GLsizeiptr>(4, alignment)), m_owners(kSlots + 1) {
    const GLsizeiptr size = m_stride * static_cast<GLsizeiptr>(m_owners.size());
    const GLbitfield flags = GL_MAP_READ_BIT | GL_MAP_WRITE_BIT | GL_MAP_PERSISTENT_BIT | GL_MAP_COHERENT_BIT;
    glCreateBuffers(1, &m_buffer);
    glNamedBufferStorage(m_buffer, size, nullptr, flags | GL_DYNAMIC_STORAGE_BIT);
    const uint32_t zero = 0;
    glClearNamedBufferData(m_buffer, GL_R32UI, GL_RED_INTEGER, GL_UNSIGNED_INT, &zero);
    m_words = static_cast<const volatile uint32_t*>(glMapNamedBufferRange(m_buffer, 0, size, flags));
    m_owners[0].used = true;
}

LoopBudgetFlags::~LoopBudgetFlags() {
    if (m_fence) glDeleteSync(m_fence);
    if (m_words) glUnmapNamedBuffer(m_buffer);
    glDeleteBuffers(1, &m_buffer);
}

uint32_t LoopBudgetFlags::Acquire(const Hlsl::ShaderCode& code) {
    for (uint32_t slot = 1; slot < m_owners.size(); ++slot) {
        if (m_owners[slot].used) continue;
        m_owners[slot] = {code.sourceName, code.entryPoint, true};
        ++m_inUse;
        return slot;
    }
    return 0;
}

void LoopBudgetFlags::Release(uint32_t slot) {
    if (slot == 0 || slot >= m_owners.size() || !m_owners[slot].used) return;
    glMemoryBarrier(GL_CLIENT_MAPPED_BUFFER_BARRIER_BIT);
    glFinish();
    ReportIfSet(slot);
    const uint32_t zero = 0;
    glClearNamedBufferSubData(m_buffer, GL_R32UI, OffsetOf(slot), 4, GL_RED_INTEGER, GL_UNSIGNED_INT, &zero);
    m_owners[slot] = {};
    --m_inUse;
}

void LoopBudgetFlags::Poll() {
    // A show without bounded loops pays no fence per frame.
    if (m_inUse == 0 && !m_fence) return;
    if (m_fence) {
        if (glClientWaitSync(m_fence, GL_SYNC_FLUSH_COMMANDS_BIT, 0) == GL_TIMEOUT_EXPIRED) return;
        glDeleteSync(m_fence);
        m_fence = nullptr;
        for (uint32_t slot = 1; slot < m_owners.size(); ++slot) ReportIfSet(slot);
    }
    // Shader writes reach a persistent mapping for the reader only after this barrier.
    glMemoryBarrier(GL_CLIENT_MAPPED_BUFFER_BARRIER_BIT);
    m_fence = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
}

uint32_t LoopBudgetFlags::WordOf(uint32_t slot) const {
    if (!m_words) return 0;
    return m_words[static_cast<size_t>(OffsetOf(slot)) / sizeof(uint32_t)];
}

void LoopBudgetFlags::ReportIfSet(uint32_t slot) {
    const Owner& owner = m_owners[slot];
    if (!owner.used || WordOf(slot) == 0) return;
    if (!m_reported.emplace(owner.source, owner.entry).second) return;
    VLOG("Gpu::LoopBudgetFlags::Poll", "'%s' in '%s' reached its loop budget; its loops were cut",
         owner.entry.c_str(), owner.source.c_str());
}

}  // namespace Gpu::Detail
