#include "graphics/texture.h"

#include <algorithm>
#include <vector>

#include "graphics/cubeLoader.h"
#include "graphics/picturePrefetch.h"
#include "graphics/sharedGraphics.h"
#include "platform/image/imageCodec.h"
#include "system/log.h"

namespace {

// Mip levels are made on the processor, as the GPU's own mip generation makes them (HalveMipLevel),
// rather than on the GPU, because the software rasterizer compiles its filter program on first use,
// which costs a start-up more than making every level of the show's pictures.

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
        HalveMipLevel(level, width, height, halfWidth, halfHeight);
        width = halfWidth;
        height = halfHeight;
    }
    Gpu::ShaderResourceViewPtr createdView = device.CreateShaderResourceView(created);
    if (!createdView) return false;
    texture = std::move(created);
    view = std::move(createdView);
    return true;
}

// The same texture from a picture whose levels were made ahead.
bool CreatePreparedTexture(const PreparedPicture& picture, Gpu::Texture2DPtr& texture,
                           Gpu::ShaderResourceViewPtr& view) {
    Gpu::Device& device = *g_graphics.device;
    Gpu::Texture2DDesc desc;
    desc.Width = picture.width;
    desc.Height = picture.height;
    desc.MipLevels = 0;
    desc.Format = Gpu::Format::R8G8B8A8_UNORM;
    desc.BindFlags = Gpu::BIND_SHADER_RESOURCE;
    Gpu::Texture2DPtr created = device.CreateTexture2D(desc);
    if (!created) return false;
    if (created->MipLevels() != picture.levels.size()) {
        // A device that makes a chain of another length: the levels are made here after all.
        Image::Picture copy{int(picture.width), int(picture.height), picture.levels.front()};
        return CreateImageTexture(copy, texture, view);
    }
    uint32_t width = desc.Width;
    for (uint32_t mip = 0; mip < created->MipLevels(); ++mip) {
        g_graphics.context->UpdateSubresource(created, mip, nullptr, picture.levels[mip].data(), width * 4,
                                              0);
        width = std::max(1u, width / 2);
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
    std::shared_ptr<const PreparedPicture> prepared;
    std::string error;
    bool decoded = false;
    {
        FileWatcher reader(fileName);
        const FileData* file = reader.GetData();
        if (!file->data || file->size <= 0) {
            VLOG("Texture::Load", "Image file '%s' couldn't be opened", fileName.c_str());
            return false;
        }
        // Made ahead from these very bytes while the show loaded, or decoded here.
        PicturePrefetch* prefetch = PicturePrefetch::Current();
        if (prefetch) prepared = prefetch->Take(fileName, file->data.get(), static_cast<size_t>(file->size));
        decoded =
            prepared || Image::Decode(file->data.get(), static_cast<size_t>(file->size), picture, error);
    }
    const bool created = decoded && g_graphics.device &&
                         (prepared ? CreatePreparedTexture(*prepared, texture, view)
                                   : CreateImageTexture(picture, texture, view));
    if (!created) {
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
