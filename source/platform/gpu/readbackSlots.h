// Read-back of a texture that does not wait for it: each slot is a buffer the copy lands in, mapped
// once for good, with a fence that says when the copy is done. A frame's copy started into one slot
// goes on while the next frame is drawn; its pixels are taken from the mapping afterwards, on any
// thread, without another copy.
#pragma once

#include <epoxy/gl.h>

#include <array>
#include <cstdint>
#include <memory>

namespace Gpu::Detail {

class DeviceCore;

class ReadbackSlots {
public:
    static constexpr uint32_t kSlots = 3;

    explicit ReadbackSlots(std::shared_ptr<DeviceCore> core);
    ~ReadbackSlots();
    ReadbackSlots(const ReadbackSlots&) = delete;
    ReadbackSlots& operator=(const ReadbackSlots&) = delete;

    /// Queues a copy of level 0 of the RGBA8 `texture` (rows top-down) into `slot`; false when the
    /// slot's buffer cannot be made. Whatever the slot held before is gone.
    bool Start(uint32_t slot, GLuint texture, uint32_t width, uint32_t height);
    /// Waits for the copy into `slot` and gives its pixels, valid until the slot is started again or
    /// this object goes; once per Start, null when nothing was started there or the wait failed.
    const uint8_t* Finish(uint32_t slot, uint32_t& width, uint32_t& height);

private:
    struct Slot {
        GLuint buffer = 0;
        const uint8_t* pixels = nullptr;
        uint32_t width = 0;
        uint32_t height = 0;
        GLsync fence = nullptr;
    };
    void Release(Slot& slot);

    std::shared_ptr<DeviceCore> m_core;
    std::array<Slot, kSlots> m_slots;
};

}  // namespace Gpu::Detail
