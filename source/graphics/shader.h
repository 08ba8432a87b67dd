// Shaders compiled at run time from one ".fx" file of the data: any number of vertex and pixel entry
// points plus the input layout of the system's vertex format. Set() binds them and is also where an
// edited file is noticed and everything built from it is thrown away, to be rebuilt from the new text.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/gpu/gpu.h"
#include "platform/hlsl/hlslCompiler.h"
#include "system/fileWatcher.h"

/// A compiled vertex entry point: its name, its compiled code and the shader made from it.
struct CompiledVertexShader {
    std::string name;
    std::shared_ptr<const Hlsl::ShaderCode> code;
    Gpu::VertexShaderPtr shader;
};

/// A compiled pixel entry point: its name, its compiled code and the shader made from it.
struct CompiledPixelShader {
    std::string name;
    std::shared_ptr<const Hlsl::ShaderCode> code;
    Gpu::PixelShaderPtr shader;
};

/// The input layout made against a vertex entry ("VS"); null records a failed creation.
struct ShaderInputLayout {
    std::string name;
    Gpu::InputLayoutPtr layout;
};

/// Resolves the include directives of every shader compilation: a name is looked up from the root of
/// the mounted data, whichever file includes it; a name not found there, beside the including file.
class ShaderIncludeHandler {
public:
    /// Reads the whole included file into `contents`; false after logging when it cannot be opened.
    bool Open(const std::string& fileName, std::string& contents) const;
    /// The handler in the form the compiler calls.
    Hlsl::IncludeResolver Resolver() const;
};

/// The one include handler, passed to every compilation.
extern const ShaderIncludeHandler g_shaderIncludeHandler;

/// One ".fx" file compiled into the vertex entry "VS", named pixel entries and the standard layout.
class Shader {
public:
    /// Watches `fileName` (a path in the mounted data); compiles nothing yet.
    explicit Shader(std::string fileName);
    ~Shader();
    Shader(const Shader&) = delete;
    Shader& operator=(const Shader&) = delete;

    /// Compiles a vertex entry point unless one of that name exists; false after logging on failure.
    bool LoadVS(const std::string& entryName);
    /// Compiles a pixel entry point unless one of that name exists; false after logging on failure.
    bool LoadPS(const std::string& entryName);
    /// Binds the layout, "VS" and the named pixel entry, first rebuilding after an edit of the file and
    /// compiling what is missing; true only when all three are bound.
    bool Set(const char* pixelEntryName);
    /// The standard layout (position, texture coordinate, normal) against "VS"; null after logging.
    Gpu::InputLayoutPtr CreateInputLayout();
    /// Forgets every compiled entry and the layout; the file watcher keeps its state.
    void Unload();

    /// The watched file.
    std::string GetFileName() const { return m_watcher.GetFileName(); }
    /// Vertex entries compiled so far, in order of compilation.
    const std::vector<CompiledVertexShader>& GetVertexShaders() const { return m_vertexShaders; }
    /// Pixel entries compiled so far, in order of compilation.
    const std::vector<CompiledPixelShader>& GetPixelShaders() const { return m_pixelShaders; }
    /// Input layouts made so far (at most the one for "VS"; a null layout records a failure).
    const std::vector<ShaderInputLayout>& GetInputLayouts() const { return m_inputLayouts; }

private:
    /// The file's text compiled for one entry point; null after logging under `function`. With
    /// `lineMarkers` the translation names the author's lines, for a driver's error to be told there.
    std::shared_ptr<const Hlsl::ShaderCode> Compile(const char* function, Hlsl::Stage stage,
                                                    const std::string& entryName, bool lineMarkers = false);
    CompiledVertexShader* FindVertexShader(const std::string& name);
    CompiledPixelShader* FindPixelShader(const std::string& name);

    FileWatcher m_watcher;
    std::vector<CompiledVertexShader> m_vertexShaders;
    std::vector<CompiledPixelShader> m_pixelShaders;
    std::vector<ShaderInputLayout> m_inputLayouts;
    bool m_vertexFailureTransient = false;  ///< the last "VS" compile failed for the machine, not the file
};
