#include "graphics/texture.h"

#include <algorithm>
#include <vector>

#include "graphics/cubeLoader.h"
#include "graphics/sharedGraphics.h"
#include "platform/image/imageCodec.h"
#include "system/log.h"

namespace {

// One mip level from the one above it, as the GPU's own mip generation makes it: each texel is the
// bilinear sample of the level above at the texel's centre, so that halving an even size averages
// 2x2 texels and an odd size leans on its middle texels. Made here rather than on the GPU because
// the software rasterizer compiles its filter program on first use, which costs a start-up more than
// making every level of the show's pictures. The level is written over the one above in place: each
// texel is written after its taps were read, and every tap still to be read lies at or after it.
void HalveLevel(std::vector<uint8_t>& pixels, uint32_t width, uint32_t height, uint32_t halfWidth,
                uint32_t halfHeight) {
    // Where a destination coordinate falls between two source texels, and how far towards the second.
    struct Tap {
        uint32_t first, second;
        float weight;
    };
    auto taps = [](uint32_t from, uint32_t to) {
        std::vector<Tap> result(to);
        for (uint32_t i = 0; i < to; ++i) {
            const float centre = (float(i) + 0.5f) * float(from) / float(to) - 0.5f;
            const float clamped = std::clamp(centre, 0.0f, float(from - 1));
            const uint32_t first = static_cast<uint32_t>(clamped);
            result[i] = {first, std::min(first + 1, from - 1), clamped - float(first)};
        }
        return result;
    };
    const std::vector<Tap> across = taps(width, halfWidth), down = taps(height, halfHeight);
    for (uint32_t y = 0; y < halfHeight; ++y) {
        const uint8_t* top = pixels.data() + size_t(down[y].first) * width * 4;
        const uint8_t* bottom = pixels.data() + size_t(down[y].second) * width * 4;
        const float wy = down[y].weight;
        for (uint32_t x = 0; x < halfWidth; ++x) {
            const Tap& t = across[x];
            uint8_t texel[4];
            for (uint32_t c = 0; c < 4; ++c) {
                const float upper =
                    top[t.first * 4 + c] + (top[t.second * 4 + c] - top[t.first * 4 + c]) * t.weight;
                const float lower =
                    bottom[t.first * 4 + c] + (bottom[t.second * 4 + c] - bottom[t.first * 4 + c]) * t.weight;
                texel[c] = static_cast<uint8_t>(upper + (lower - upper) * wy + 0.5f);
            }
            std::copy(texel, texel + 4, pixels.begin() + (size_t(y) * halfWidth + x) * 4);
        }
    }
}

// A texture with the full mip chain: level 0 from the picture, each further level filtered down
// from the one above it in the picture's own memory, so that a large picture is held at most once
// besides the GPU's copy.
bool CreateImageTexture(Image::Picture& picture, Gpu::Texture2DPtr& texture,
                        Gpu::ShaderResourceViewPtr& view) {
    Gpu::Device& device = *g_graphics.device;
    Gpu::Texture2DDesc desc;
    desc.Width = static_cast<uint32_t>(picture.width);
    desc.Height = static_cast<uint32_t>(picture.height);
    desc.MipLevels = 0;
    desc.Format = Gpu::Format::R8G8B8A8_UNORM;
    desc.BindFlags = Gpu::BIND_SHADER_RESOURCE;
    Gpu::Texture2DPtr created = device.CreateTexture2D(desc);
    if (!created) return false;
    std::vector<uint8_t> level = std::move(picture.rgba);
    uint32_t width = desc.Width, height = desc.Height;
    for (uint32_t mip = 0; mip < created->MipLevels(); ++mip) {
        g_graphics.context->UpdateSubresource(created, mip, nullptr, level.data(), width * 4, 0);
        if (mip + 1 == created->MipLevels()) break;
        const uint32_t halfWidth = std::max(1u, width / 2), halfHeight = std::max(1u, height / 2);
        HalveLevel(level, width, height, halfWidth, halfHeight);
        width = halfWidth;
        height = halfHeight;
    }
    Gpu::ShaderResourceViewPtr createdView = device.CreateShaderResourceView(created);
    if (!createdView) return false;
    texture = std::move(created);
    view = std::move(createdView);
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Texture

Texture::~Texture() {
    texture.reset();
    view.reset();
    watcher.reset();
}

bool Texture::Load(const std::string& fileName) {
    // The old picture goes first, so that a failed reload shows nothing rather than stale contents.
    texture.reset();
    view.reset();
    watcher = std::make_unique<FileWatcher>(fileName);
    if (fileName.empty()) return true;

    // A watcher of its own for the read: the object's watcher keeps no copy of the file's bytes. The
    // bytes go once decoded, before the picture goes to the GPU.
    Image::Picture picture;
    std::string error;
    bool decoded = false;
    {
        FileWatcher reader(fileName);
        const FileData* file = reader.GetData();
        if (!file->data || file->size <= 0) {
            VLOG("Texture::Load", "Image file '%s' couldn't be opened", fileName.c_str());
            return false;
        }
        decoded = Image::Decode(file->data.get(), static_cast<size_t>(file->size), picture, error);
    }
    if (!decoded || !g_graphics.device || !CreateImageTexture(picture, texture, view)) {
        texture.reset();
        view.reset();
        VLOG("Texture::Load", "Error creating texture from '%s'", fileName.c_str());
        if (!error.empty()) VLOG("Texture::Load", "'%s': %s", fileName.c_str(), error.c_str());
        return false;
    }
    return true;
}

bool Texture::ReloadIfChanged() {
    if (!watcher || !watcher->GetHasChanged()) return false;
    Load(watcher->GetFileName());
    return true;
}

// ---------------------------------------------------------------------------------------------------
// Texture3D

Texture3D::~Texture3D() {
    texture.reset();
    view.reset();
    watcher.reset();
}

bool Texture3D::Load(const std::string& fileName) {
    constexpr char kFunction[] = "Texture3D::Load";
    texture.reset();
    view.reset();
    watcher = std::make_unique<FileWatcher>(fileName);

    FileWatcher reader(fileName);
    const FileData* file = reader.GetData();
    if (!file->data || file->size <= 0) {
        VLOG(kFunction, "TextureManager failed to open '%s'", fileName.c_str());
        return true;
    }
    const CubeLoader table(file->data.get(), static_cast<size_t>(file->size));
    if (!table.ok) {
        VLOG(kFunction, "TextureManager failed to load '%s'", fileName.c_str());
        VLOG(kFunction, "'%s': %s", fileName.c_str(), table.error.c_str());
        return true;
    }
    const uint32_t size = static_cast<uint32_t>(table.size);
    Gpu::Texture3DDesc desc;
    desc.Width = desc.Height = desc.Depth = size;
    desc.MipLevels = 1;
    desc.Format = Gpu::Format::R8G8B8A8_UNORM;
    desc.Usage = Gpu::Usage::IMMUTABLE;
    desc.BindFlags = Gpu::BIND_SHADER_RESOURCE;
    const Gpu::SubresourceData initial{table.table.data(), 4 * size, 4 * size * size};
    Gpu::Texture3DPtr created =
        g_graphics.device ? g_graphics.device->CreateTexture3D(desc, &initial) : nullptr;
    if (!created) VLOG(kFunction, "Failed to create texture");

    Gpu::ShaderResourceViewPtr createdView;
    if (created) {
        Gpu::ShaderResourceViewDesc viewDesc;
        viewDesc.Format = Gpu::Format::R8G8B8A8_UNORM;
        viewDesc.ViewDimension = Gpu::SrvDimension::TEXTURE3D;
        viewDesc.Texture.MostDetailedMip = 0;
        viewDesc.Texture.MipLevels = 1;
        createdView = g_graphics.device->CreateShaderResourceView(created, &viewDesc);
    }
    texture = std::move(created);
    view = std::move(createdView);
    if (!view) {
        VLOG(kFunction, "Failed to create shader resource view");
        VLOG(kFunction, "TextureManager failed to load '%s'", fileName.c_str());
    }
    return true;
}

bool Texture3D::ReloadIfChanged() {
    if (!watcher || !watcher->GetHasChanged()) return false;
    Load(watcher->GetFileName());
    return true;
}
