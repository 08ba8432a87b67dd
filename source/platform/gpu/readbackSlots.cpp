#include "platform/gpu/readbackSlots.h"

#include <cassert>

#include "platform/gpu/deviceCore.h"
#include "system/log.h"

namespace Gpu::Detail {

namespace {

// Mapped for reading for the buffer's whole life, and coherent, so that once the fence has passed the
// copy is visible through the mapping with no further call.
constexpr GLbitfield kMapping = GL_MAP_READ_BIT | GL_MAP_PERSISTENT_BIT | GL_MAP_COHERENT_BIT;

}  // namespace

ReadbackSlots::ReadbackSlots(std::shared_ptr<DeviceCore> core) : m_core(std::move(core)) {}

ReadbackSlots::~ReadbackSlots() {
    m_core->Use();
    for (Slot& slot : m_slots) Release(slot);
    m_core->NoteDeletion();
}

void ReadbackSlots::Release(Slot& slot) {
    if (slot.fence) glDeleteSync(slot.fence);
    // Deleting a buffer ends its mapping.
    if (slot.buffer) glDeleteBuffers(1, &slot.buffer);
    slot = Slot{};
}

bool ReadbackSlots::Start(uint32_t index, GLuint texture, uint32_t width, uint32_t height) {
    assert(index < kSlots);
    m_core->Use();
    Slot& slot = m_slots[index];
    const GLsizeiptr bytes = GLsizeiptr(width) * GLsizeiptr(height) * 4;
    if (slot.fence) {
        glDeleteSync(slot.fence);
        slot.fence = nullptr;
    }
    if (!slot.buffer || slot.width != width || slot.height != height) {
        Release(slot);
        glCreateBuffers(1, &slot.buffer);
        glNamedBufferStorage(slot.buffer, bytes, nullptr, kMapping);
        slot.pixels = static_cast<const uint8_t*>(glMapNamedBufferRange(slot.buffer, 0, bytes, kMapping));
        if (!slot.pixels) {
            VLOG("Gpu::SwapChain::StartReadBack", "Cannot map a %ux%u read-back buffer", width, height);
            Release(slot);
            return false;
        }
        slot.width = width;
        slot.height = height;
    }
    glBindBuffer(GL_PIXEL_PACK_BUFFER, slot.buffer);
    glGetTextureImage(texture, 0, GL_RGBA, GL_UNSIGNED_BYTE, static_cast<GLsizei>(bytes), nullptr);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    slot.fence = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    // Sent now, so that the copy runs while the caller goes on to the next frame.
    glFlush();
    return slot.fence != nullptr;
}

const uint8_t* ReadbackSlots::Finish(uint32_t index, uint32_t& width, uint32_t& height) {
    assert(index < kSlots);
    Slot& slot = m_slots[index];
    if (!slot.fence) return nullptr;
    m_core->Use();
    constexpr GLuint64 kSecond = 1000000000;
    GLenum state = GL_TIMEOUT_EXPIRED;
    for (int waited = 0; state == GL_TIMEOUT_EXPIRED && waited < 60; ++waited)
        state = glClientWaitSync(slot.fence, GL_SYNC_FLUSH_COMMANDS_BIT, kSecond);
    glDeleteSync(slot.fence);
    slot.fence = nullptr;
    if (state != GL_ALREADY_SIGNALED && state != GL_CONDITION_SATISFIED) {
        VLOG("Gpu::SwapChain::FinishReadBack", "A read-back did not finish (0x%x)", state);
        return nullptr;
    }
    width = slot.width;
    height = slot.height;
    return slot.pixels;
}

}  // namespace Gpu::Detail
