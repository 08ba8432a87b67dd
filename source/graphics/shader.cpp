// Sections: include handler | compiling entry points | binding and hot reload | input layout
#include "graphics/shader.h"

#include <physfs.h>

#include <algorithm>
#include <cassert>

#include "graphics/sharedGraphics.h"
#include "system/log.h"

// ---------------------------------------------------------------------------------------------------
// Include handler

const ShaderIncludeHandler g_shaderIncludeHandler;

bool ShaderIncludeHandler::Open(const std::string& fileName, std::string& contents) const {
    // The name as it stands from the root of the data (the resolver below decides which name).
    PHYSFS_File* file = PHYSFS_isInit() ? PHYSFS_openRead(fileName.c_str()) : nullptr;
    if (!file) {
        VLOG("ShaderIncludeHandler::Open", "Failed to find shader include '%s'", fileName.c_str());
        return false;
    }
    const PHYSFS_sint64 length = PHYSFS_fileLength(file);
    contents.clear();
    if (length > 0) {
        // One byte past the compiler's bound is enough for it to refuse the file with its message;
        // the rest would only cost memory.
        contents.resize(static_cast<size_t>(std::min<PHYSFS_sint64>(length, Hlsl::kMaxSourceBytes + 1)));
        const PHYSFS_sint64 read = PHYSFS_readBytes(file, contents.data(), contents.size());
        contents.resize(read > 0 ? static_cast<size_t>(read) : 0);
    }
    PHYSFS_close(file);
    return true;
}

Hlsl::IncludeResolver ShaderIncludeHandler::Resolver() const {
    return [this](const std::string& requested, std::string& includer, std::string& contents) {
        // Only a name the root does not hold is looked for beside the including file, as shader
        // authors keep a file with its headers; the root keeps its word. A file found beside is
        // known by its place, so that its own includes are looked for beside it in turn.
        const size_t folder = includer.rfind('/');
        if (folder != std::string::npos && PHYSFS_isInit() && !PHYSFS_exists(requested.c_str())) {
            const std::string beside = includer.substr(0, folder + 1) + requested;
            if (PHYSFS_exists(beside.c_str())) {
                includer = beside;
                return Open(beside, contents);
            }
        }
        return Open(requested, contents);
    };
}

// ---------------------------------------------------------------------------------------------------
// Compiling entry points

namespace {

// Makes a stage's GPU shader from `code` with `create`. Where the driver refuses it, the entry is
// compiled once more by `compileMarked` with the author's line markers and made from that, so that the
// driver's error (logged then) names the author's lines; the plain refusal is told only when no marked
// compile can be had.
template <typename Create, typename CompileMarked>
auto CreateTellingLines(std::shared_ptr<const Hlsl::ShaderCode>& code, Create create,
                        CompileMarked compileMarked, const char* function) {
    std::string refusal;
    auto shader = create(code, &refusal);
    if (shader || refusal.empty()) return shader;
    code = compileMarked();
    if (code) return create(code, nullptr);
    VLOG(function, "%s", refusal.c_str());
    return shader;
}

}  // namespace

Shader::Shader(std::string fileName) : m_watcher(std::move(fileName)) {}

Shader::~Shader() {
    Unload();
}

std::shared_ptr<const Hlsl::ShaderCode> Shader::Compile(const char* function, Hlsl::Stage stage,
                                                        const std::string& entryName, bool lineMarkers) {
    const bool vertex = stage == Hlsl::Stage::Vertex;
    if (vertex) m_vertexFailureTransient = false;
    const FileData* file = m_watcher.GetData();
    const std::string fileName = m_watcher.GetFileName();
    if (!file->data || file->size <= 0) {
        VLOG(function, "File '%s' for %s shader '%s' couldn't be opened", fileName.c_str(),
             vertex ? "vertex" : "pixel", entryName.c_str());
        return nullptr;
    }
    static const Hlsl::IncludeResolver resolver = g_shaderIncludeHandler.Resolver();
    const std::string target = vertex ? "vs_4_0" : "ps_4_0";
    Hlsl::CompileResult result =
        Hlsl::Compile(std::string(file->data.get(), static_cast<size_t>(file->size)), fileName, resolver,
                      entryName, lineMarkers ? Hlsl::WithLineMarkers(target) : target);
    if (vertex) m_vertexFailureTransient = result.transient;
    if (!result) {
        const char* errors = result.errors.empty() ? "No error given!" : result.errors.c_str();
        if (vertex) {
            VLOG(function, "Vertex shader '%s' compile error:\n%s", entryName.c_str(), errors);
        } else {
            VLOG(function, "Pixel shader '%s' compile error:\n%s", entryName.c_str(), errors);
        }
        return nullptr;
    }
    return std::move(result.code);
}

CompiledVertexShader* Shader::FindVertexShader(const std::string& name) {
    for (CompiledVertexShader& entry : m_vertexShaders) {
        if (entry.name == name) return &entry;
    }
    return nullptr;
}

CompiledPixelShader* Shader::FindPixelShader(const std::string& name) {
    for (CompiledPixelShader& entry : m_pixelShaders) {
        if (entry.name == name) return &entry;
    }
    return nullptr;
}

bool Shader::LoadVS(const std::string& entryName) {
    if (FindVertexShader(entryName)) return true;
    std::shared_ptr<const Hlsl::ShaderCode> code = Compile("Shader::LoadVS", Hlsl::Stage::Vertex, entryName);
    if (!code) return false;
    Gpu::VertexShaderPtr shader = CreateTellingLines(
        code,
        [](const auto& made, std::string* refusal) {
            return g_graphics.device->CreateVertexShader(made, refusal);
        },
        [&] { return Compile("Shader::LoadVS", Hlsl::Stage::Vertex, entryName, true); }, "Shader::LoadVS");
    if (!shader) {
        VLOG("Shader::LoadVS", "Failed to create vertex shader '%s'", entryName.c_str());
        return false;
    }
    m_vertexShaders.push_back({entryName, std::move(code), std::move(shader)});
    return true;
}

bool Shader::LoadPS(const std::string& entryName) {
    if (FindPixelShader(entryName)) return true;
    std::shared_ptr<const Hlsl::ShaderCode> code = Compile("Shader::LoadPS", Hlsl::Stage::Pixel, entryName);
    if (!code) return false;
    Gpu::PixelShaderPtr shader = CreateTellingLines(
        code,
        [](const auto& made, std::string* refusal) {
            return g_graphics.device->CreatePixelShader(made, refusal);
        },
        [&] { return Compile("Shader::LoadPS", Hlsl::Stage::Pixel, entryName, true); }, "Shader::LoadPS");
    if (!shader) {
        VLOG("Shader::LoadPS", "Failed to create pixel shader '%s'", entryName.c_str());
        return false;
    }
    m_pixelShaders.push_back({entryName, std::move(code), std::move(shader)});
    return true;
}

void Shader::Unload() {
    m_vertexShaders.clear();
    m_pixelShaders.clear();
    m_inputLayouts.clear();
}

// ---------------------------------------------------------------------------------------------------
// Binding and hot reload

bool Shader::Set(const char* pixelEntryName) {
    assert(pixelEntryName);
    if (m_watcher.GetHasChanged()) Unload();

    // A layout that failed is kept as null, so a broken vertex side costs nothing per frame until
    // the file is edited again.
    ShaderInputLayout* layout = nullptr;
    for (ShaderInputLayout& entry : m_inputLayouts) {
        if (entry.name == "VS") layout = &entry;
    }
    if (!layout) {
        Gpu::InputLayoutPtr created = CreateInputLayout();
        // A compile the machine gave no time to says nothing of the file: the next Set tries again
        // rather than keeping the vertex side broken until the file is edited.
        if (!created && m_vertexFailureTransient) return false;
        m_inputLayouts.push_back({"VS", std::move(created)});
        layout = &m_inputLayouts.back();
    }
    if (!layout->layout) return false;
    Gpu::Context& context = *g_graphics.context;
    context.IASetInputLayout(layout->layout);

    CompiledVertexShader* vertex = FindVertexShader("VS");
    if (!vertex) {
        VLOG("Shader::Set", "Shader trying to use unloaded vertex shader '%s'. Trying to load it now..",
             "VS");
        if (!LoadVS("VS")) return false;
        vertex = &m_vertexShaders.back();
    }
    context.VSSetShader(vertex->shader);

    // A pixel entry that fails is never recorded, so each Set naming it tries again and says why.
    CompiledPixelShader* pixel = FindPixelShader(pixelEntryName);
    if (!pixel) {
        VLOG("Shader::Set", "Shader trying to use unloaded pixel shader '%s'. Trying to load it now..",
             pixelEntryName);
        if (!LoadPS(pixelEntryName)) return false;
        pixel = &m_pixelShaders.back();
    }
    context.PSSetShader(pixel->shader);
    return true;
}

// ---------------------------------------------------------------------------------------------------
// Input layout

Gpu::InputLayoutPtr Shader::CreateInputLayout() {
    CompiledVertexShader* vertex = FindVertexShader("VS");
    if (!vertex) {
        VLOG("Shader::CreateInputLayout",
             "Shader trying to use unloaded vertex shader '%s'. Trying to load it now..", "VS");
        if (!LoadVS("VS")) return nullptr;
        vertex = &m_vertexShaders.back();
    }
    if (!vertex->shader || !vertex->code) {
        VLOG("Shader::CreateInputLayout",
             "Couldn't create input layout for shader because the vertex shader isn't loaded");
        return nullptr;
    }
    // The system's one vertex format: position, texture coordinate, normal, 32 bytes, slot 0.
    const Gpu::InputElementDesc elements[3] = {
        {"POSITION", 0, Gpu::Format::R32G32B32_FLOAT, 0, 0, Gpu::InputClassification::PER_VERTEX_DATA, 0},
        {"TEXCOORD", 0, Gpu::Format::R32G32_FLOAT, 0, 12, Gpu::InputClassification::PER_VERTEX_DATA, 0},
        {"NORMAL", 0, Gpu::Format::R32G32B32_FLOAT, 0, 20, Gpu::InputClassification::PER_VERTEX_DATA, 0},
    };
    Gpu::InputLayoutPtr layout = g_graphics.device->CreateInputLayout(elements, 3, *vertex->code);
    if (!layout) {
        VLOG("Shader::CreateInputLayout", "Failed to create input layout for shader");
        return nullptr;
    }
    return layout;
}
