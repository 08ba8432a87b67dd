// Reads what a GPU buffer holds (through a staging copy), so that tests see the constants and records
// an effect really uploaded rather than its own idea of them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "graphics/sharedGraphics.h"

namespace TestSupport {

/// The bytes of `buffer` as the GPU holds them; empty when it cannot be read.
inline std::vector<uint8_t> ReadBufferBytes(const Gpu::BufferPtr& buffer) {
    if (!buffer) return {};
    Gpu::BufferDesc desc;
    desc.ByteWidth = buffer->GetDesc().ByteWidth;
    desc.Usage = Gpu::Usage::STAGING;
    desc.CPUAccessFlags = Gpu::CPU_ACCESS_READ;
    const Gpu::BufferPtr staging = g_graphics.device->CreateBuffer(desc);
    if (!staging) return {};
    g_graphics.context->CopyResource(staging, buffer);
    Gpu::MappedSubresource mapped;
    if (!g_graphics.context->Map(staging, 0, Gpu::MapType::READ, 0, &mapped)) return {};
    std::vector<uint8_t> bytes(desc.ByteWidth);
    std::memcpy(bytes.data(), mapped.pData, bytes.size());
    g_graphics.context->Unmap(staging, 0);
    return bytes;
}

/// The first sizeof(T) bytes of `buffer` as a T (zeros when it cannot be read).
template <typename T>
T ReadBufferAs(const Gpu::BufferPtr& buffer) {
    T value{};
    const std::vector<uint8_t> bytes = ReadBufferBytes(buffer);
    EXPECT_GE(bytes.size(), sizeof(T));
    if (bytes.size() >= sizeof(T)) std::memcpy(&value, bytes.data(), sizeof(T));
    return value;
}

}  // namespace TestSupport
