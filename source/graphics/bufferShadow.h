// The rule every dynamic buffer of the graphics layer follows: keep a CPU copy of what was last
// written and send new bytes to the GPU only when they differ from it.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/gpu/gpu.h"

/// The CPU copy of a dynamic buffer's contents, and the upload that is skipped when nothing changed.
class BufferShadow {
public:
    /// A zero-filled copy of `byteSize` bytes; the GPU side counts as unwritten.
    explicit BufferShadow(uint32_t byteSize);

    /// Writes the first `byteCount` bytes of `data` (at most the shadow's size) to the start of
    /// `buffer` with a write-discard map unless the GPU already holds exactly those bytes; true when
    /// it uploaded. A null buffer takes nothing.
    bool Update(const Gpu::BufferPtr& buffer, const void* data, uint32_t byteCount);

    /// The copy itself, for owners that preset it.
    uint8_t* Bytes() { return m_bytes.get(); }
    const uint8_t* Bytes() const { return m_bytes.get(); }
    /// Size of the copy in bytes.
    uint32_t Size() const { return m_size; }

private:
    struct Free {
        void operator()(uint8_t* bytes) const;
    };
    // Zeroed by the allocator, which hands large blocks out as untouched zero pages: a large buffer
    // costs nothing until it is written.
    std::unique_ptr<uint8_t[], Free> m_bytes;
    uint32_t m_size = 0;
    // A write-discard map leaves the buffer past the written bytes undefined, so only this prefix
    // of the shadow is known to match the GPU; 0 until the first upload, which therefore always
    // happens, whatever the shadow was preset to.
    uint32_t m_validBytes = 0;
};
