// HLSL to GLSL in two steps: shaderc turns the HLSL into SPIR-V, SPIRV-Cross turns that into GLSL 4.50.
// Between the two, the SPIR-V is adjusted so that the GL program sees what an HLSL program would:
//   [Front end]   shaderc options, include callbacks, error text
//   [Types]       SPIR-V types read into the packing rules' type tree, layouts written back
//   [Buffers]     cbuffers (register packing to std140) and StructuredBuffers (tight to std430)
//   [Interface]   vertex inputs by semantic, varyings at locations fixed by semantic, SV_TargetN
//   [Textures]    texture and sampler registers combined into GL sampler uniforms
//   [Compile]     the whole road for one entry point
#include "platform/hlsl/hlslCompiler.h"

#include <shaderc/shaderc.h>
#include <spirv_cross/spirv_cross_c.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>

#include "platform/hlsl/bufferPacking.h"
#include "platform/hlsl/compilerService.h"
#include "platform/hlsl/hlslSource.h"
#include "platform/hlsl/texelOffsets.h"

namespace Hlsl {
namespace {

// Register bases: bN stays N, tN (StructuredBuffer included) becomes 16 + N, sM 32 + M, uN 48 + N.
constexpr uint32_t kTextureBase = 16;
constexpr uint32_t kSamplerBase = 32;
constexpr uint32_t kUavBase = 48;

// A failure that stops the compile, with the text the caller gets.
struct CompileError {
    std::string text;
};

// ---------------------------------------------------------------------------------------------
// [Front end]

struct IncludeContext {
    const IncludeResolver* resolve = nullptr;
    // The front end asks for a quoted include twice (as a local, then as a system header) when the
    // first attempt fails; the resolver hears each name once, so that it reports a missing file once.
    std::map<std::string, std::optional<std::string>> answered;
    // The name each answered file was found under, by the same key: what its own includes name as
    // their includer.
    std::map<std::string, std::string> foundAs;
    // Every expansion counts, also of a file answered before: that is what the front end works through.
    size_t includes = 0;
    size_t sourceBytes = 0;
};

struct IncludeResult {
    shaderc_include_result result{};
    std::string name;
    std::string contents;
};

shaderc_include_result* ResolveInclude(void* userData, const char* requested, int /*type*/,
                                       const char* requesting, size_t depth) {
    auto* context = static_cast<IncludeContext*>(userData);
    auto* include = new IncludeResult;
    if (depth > kMaxIncludeDepth) {
        include->contents = "includes nest deeper than " + std::to_string(kMaxIncludeDepth) + " files at '" +
                            std::string(requested) + "'";
    } else if (++context->includes > kMaxIncludes) {
        include->contents = "more than " + std::to_string(kMaxIncludes) + " includes in one compile at '" +
                            std::string(requested) + "'";
    } else if (context->resolve && *context->resolve) {
        const std::string key = std::string(requested) + '\n' + requesting;
        auto answer = context->answered.find(key);
        if (answer == context->answered.end()) {
            std::string contents;
            std::string where = requesting;
            std::optional<std::string> found;
            if ((*context->resolve)(requested, where, contents)) found = std::move(contents);
            context->foundAs[key] = where != requesting ? where : std::string(requested);
            answer = context->answered.emplace(key, std::move(found)).first;
        }
        if (answer->second && answer->second->size() > kMaxSourceBytes - context->sourceBytes) {
            include->contents = "the source with its includes is larger than " +
                                std::to_string(kMaxSourceBytes >> 20) + " MiB at '" + std::string(requested) +
                                "'";
        } else if (answer->second) {
            context->sourceBytes += answer->second->size();
            include->name = context->foundAs[key];
            include->contents = ReadAsDirect3D(*answer->second);
        } else {
            include->contents = "cannot open include file '" + std::string(requested) + "'";
        }
    } else {
        include->contents = "cannot open include file '" + std::string(requested) + "' (no include handler)";
    }
    // shaderc reads an empty name as a failed include whose content is the error text.
    include->result.source_name = include->name.c_str();
    include->result.source_name_length = include->name.size();
    include->result.content = include->contents.c_str();
    include->result.content_length = include->contents.size();
    include->result.user_data = include;
    return &include->result;
}

void ReleaseInclude(void* /*userData*/, shaderc_include_result* result) {
    delete static_cast<IncludeResult*>(result->user_data);
}

// The compiler object holds no per-compile state; creating it once saves its set-up on every shader.
shaderc_compiler_t SharedCompiler() {
    static const std::unique_ptr<shaderc_compiler, void (*)(shaderc_compiler_t)> compiler(
        shaderc_compiler_initialize(), shaderc_compiler_release);
    return compiler.get();
}

std::vector<uint32_t> CompileToSpirv(const std::string& source, const std::string& name,
                                     IncludeContext& context, const std::string& entryPoint,
                                     shaderc_shader_kind kind, bool lines = false) {
    const std::unique_ptr<shaderc_compile_options, void (*)(shaderc_compile_options_t)> options(
        shaderc_compile_options_initialize(), shaderc_compile_options_release);
    shaderc_compile_options_set_source_language(options.get(), shaderc_source_language_hlsl);
    // Vulkan rules keep textures and samplers apart, as HLSL declares them.
    shaderc_compile_options_set_target_env(options.get(), shaderc_target_env_vulkan,
                                           shaderc_env_version_vulkan_1_0);
    shaderc_compile_options_set_hlsl_io_mapping(options.get(), true);
    shaderc_compile_options_set_auto_bind_uniforms(options.get(), true);
    shaderc_compile_options_set_auto_map_locations(options.get(), true);
    shaderc_compile_options_set_hlsl_functionality1(options.get(), true);
    shaderc_compile_options_set_binding_base(options.get(), shaderc_uniform_kind_buffer, 0);
    shaderc_compile_options_set_binding_base(options.get(), shaderc_uniform_kind_texture, kTextureBase);
    shaderc_compile_options_set_binding_base(options.get(), shaderc_uniform_kind_storage_buffer,
                                             kTextureBase);
    shaderc_compile_options_set_binding_base(options.get(), shaderc_uniform_kind_sampler, kSamplerBase);
    shaderc_compile_options_set_binding_base(options.get(), shaderc_uniform_kind_image, kUavBase);
    shaderc_compile_options_set_binding_base(options.get(), shaderc_uniform_kind_unordered_access_view,
                                             kUavBase);
    shaderc_compile_options_set_include_callbacks(options.get(), ResolveInclude, ReleaseInclude, &context);
    // Line markers, asked for where an error must name the author's line: they cost a tenth of the
    // compile time, too much to carry in every shader.
    if (lines) shaderc_compile_options_set_generate_debug_info(options.get());

    // The author's lines keep their numbers: the macro reset ends in `#line 1`.
    const std::string text = MacroReset() + ReadAsDirect3D(source);
    const std::unique_ptr<shaderc_compilation_result, void (*)(shaderc_compilation_result_t)> result(
        shaderc_compile_into_spv(SharedCompiler(), text.data(), text.size(), kind, name.c_str(),
                                 entryPoint.c_str(), options.get()),
        shaderc_result_release);
    if (!result) throw CompileError{name + ": error: the HLSL compiler could not start"};
    if (shaderc_result_get_compilation_status(result.get()) != shaderc_compilation_status_success) {
        std::string errors = shaderc_result_get_error_message(result.get());
        if (errors.find("Entry point not found") != std::string::npos) {
            errors += name + ": error: entry point '" + entryPoint + "' not found\n";
        }
        if (errors.empty()) errors = name + ": error: compilation failed without a message";
        std::map<std::string, std::string_view> files = {{name, source}};
        for (const auto& [key, contents] : context.answered) {
            if (contents) files.emplace(context.foundAs[key], *contents);
        }
        throw CompileError{ExplainUnsupported(errors, files)};
    }
    const size_t bytes = shaderc_result_get_length(result.get());
    std::vector<uint32_t> words(bytes / sizeof(uint32_t));
    std::copy_n(shaderc_result_get_bytes(result.get()), words.size() * sizeof(uint32_t),
                reinterpret_cast<char*>(words.data()));
    return words;
}

// ---------------------------------------------------------------------------------------------
// [Types]

// A SPIRV-Cross compiler with the name of the source for messages.
struct Translation {
    spvc_compiler compiler = nullptr;
    std::string name;
    // Layout already written on a type id, so that a type shared by two differently packed blocks is
    // caught instead of silently taking the last layout.
    std::map<spvc_type_id, std::string> written;
    // The source and every file it included, for what the SPIR-V does not tell.
    const std::vector<const std::string*>* texts = nullptr;

    [[noreturn]] void Fail(const std::string& message) const {
        throw CompileError{name + ": error: " + message};
    }
};

std::string MemberName(const Translation& t, spvc_type_id structId, unsigned index) {
    const char* name = spvc_compiler_get_member_name(t.compiler, structId, index);
    return name && *name ? name : "member " + std::to_string(index);
}

PackedType ReadType(const Translation& t, spvc_type_id typeId, spvc_type_id parentId, unsigned memberIndex,
                    const std::string& where) {
    const spvc_type type = spvc_compiler_get_type_handle(t.compiler, typeId);
    PackedType packed;
    const unsigned dimensions = spvc_type_get_num_array_dimensions(type);
    if (dimensions > 1) t.Fail("'" + where + "': arrays of arrays in buffers are not supported");
    if (dimensions == 1) {
        if (!spvc_type_array_dimension_is_literal(type, 0))
            t.Fail("'" + where + "': array size must be a constant");
        packed.arrayLength = spvc_type_get_array_dimension(type, 0);
        if (packed.arrayLength == 0) t.Fail("'" + where + "': unsized arrays are not supported here");
    }
    switch (spvc_type_get_basetype(type)) {
        case SPVC_BASETYPE_STRUCT: {
            const spvc_type_id structId = spvc_type_get_base_type_id(type);
            const spvc_type structType = spvc_compiler_get_type_handle(t.compiler, structId);
            const unsigned count = spvc_type_get_num_member_types(structType);
            if (count == 0) t.Fail("'" + where + "': empty structs are not supported in buffers");
            for (unsigned i = 0; i < count; ++i) {
                packed.members.push_back(ReadType(t, spvc_type_get_member_type(structType, i), structId, i,
                                                  where + "." + MemberName(t, structId, i)));
            }
            return packed;
        }
        case SPVC_BASETYPE_FP32:
        case SPVC_BASETYPE_INT32:
        case SPVC_BASETYPE_UINT32:
        case SPVC_BASETYPE_BOOLEAN:
            break;
        default:
            t.Fail("'" + where + "': only 32-bit scalars, vectors and matrices are supported in buffers");
    }
    const unsigned rows = spvc_type_get_vector_size(type);
    const unsigned columns = spvc_type_get_columns(type);
    const bool rowMajor =
        columns > 1 && parentId != 0 &&
        spvc_compiler_has_member_decoration(t.compiler, parentId, memberIndex, SpvDecorationRowMajor);
    packed.vectorSize = rowMajor ? columns : rows;
    packed.vectorCount = rowMajor ? rows : columns;
    return packed;
}

// Reads a block's struct type (the cbuffer, or the element of a StructuredBuffer).
PackedType ReadStruct(const Translation& t, spvc_type_id structId, const std::string& where) {
    const spvc_type type = spvc_compiler_get_type_handle(t.compiler, structId);
    PackedType packed;
    const unsigned count = spvc_type_get_num_member_types(type);
    if (count == 0) t.Fail("'" + where + "' is empty");
    for (unsigned i = 0; i < count; ++i) {
        packed.members.push_back(ReadType(t, spvc_type_get_member_type(type, i), structId, i,
                                          where + "." + MemberName(t, structId, i)));
    }
    return packed;
}

std::string Signature(const PackedLayout& layout) {
    std::string text = std::to_string(layout.offset) + "/" + std::to_string(layout.arrayStride) + "/" +
                       std::to_string(layout.vectorStride) + "{";
    for (const PackedLayout& member : layout.members) text += Signature(member) + ",";
    return text + "}";
}

void Remember(Translation& t, spvc_type_id id, const std::string& signature, const std::string& where) {
    const auto [entry, added] = t.written.emplace(id, signature);
    if (!added && entry->second != signature) {
        t.Fail("'" + where +
               "': the same type is used in buffers packed differently; declare a separate type");
    }
}

// Writes the offsets and strides of `layout` into the struct type `structId` and what it holds.
void WriteLayout(Translation& t, spvc_type_id structId, const PackedType& packed, const PackedLayout& layout,
                 const std::string& where) {
    Remember(t, structId, Signature(layout), where);
    const spvc_type structType = spvc_compiler_get_type_handle(t.compiler, structId);
    for (unsigned i = 0; i < packed.members.size(); ++i) {
        const PackedType& member = packed.members[i];
        const PackedLayout& placed = layout.members[i];
        const std::string memberWhere = where + "." + MemberName(t, structId, i);
        spvc_compiler_set_member_decoration(t.compiler, structId, i, SpvDecorationOffset, placed.offset);
        const spvc_type_id memberId = spvc_type_get_member_type(structType, i);
        if (member.IsArray()) {
            Remember(t, memberId, "stride " + std::to_string(placed.arrayStride), memberWhere);
            spvc_compiler_set_decoration(t.compiler, memberId, SpvDecorationArrayStride, placed.arrayStride);
        }
        if (member.IsMatrix()) {
            spvc_compiler_set_member_decoration(t.compiler, structId, i, SpvDecorationMatrixStride,
                                                placed.vectorStride);
        }
        if (member.IsStruct()) {
            const spvc_type memberType = spvc_compiler_get_type_handle(t.compiler, memberId);
            PackedLayout element = placed;
            element.offset = 0;
            WriteLayout(t, spvc_type_get_base_type_id(memberType), member, element, memberWhere);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// [Buffers]

const spvc_reflected_resource* List(spvc_resources resources, spvc_resource_type type, size_t& count) {
    const spvc_reflected_resource* list = nullptr;
    count = 0;
    spvc_resources_get_resource_list_for_type(resources, type, &list, &count);
    return list;
}

uint32_t RoundUp16(uint32_t value) {
    return (value + 15) / 16 * 16;
}

std::string WithoutComments(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "//") == 0) {
            i = text.find('\n', i);
            if (i == std::string::npos) break;
            out += '\n';
        } else if (text.compare(i, 2, "/*") == 0) {
            i = text.find("*/", i + 2);
            if (i == std::string::npos) break;
            ++i;
            out += ' ';
        } else {
            out += text[i];
        }
    }
    return out;
}

bool IsIdentifier(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// Whether the cbuffer `name` places its members with packoffset. The SPIR-V keeps the offsets it gives
// but not whether they were written or computed, and the computed ones do not follow the HLSL rules
// for arrays and matrices; so the declaration is read from the text. HLSL takes packoffset on every
// member of a cbuffer or on none.
bool UsesPackOffset(const Translation& t, const std::string& name) {
    bool mentioned = false;
    for (const std::string* raw : *t.texts) {
        if (raw->find("packoffset") == std::string::npos) continue;
        const std::string text = WithoutComments(*raw);
        if (text.find("packoffset") == std::string::npos) continue;
        mentioned = true;
        for (size_t at = text.find("cbuffer"); at != std::string::npos; at = text.find("cbuffer", at + 7)) {
            if (at > 0 && IsIdentifier(text[at - 1])) continue;
            size_t cursor = at + 7;
            while (cursor < text.size() && std::isspace(static_cast<unsigned char>(text[cursor]))) ++cursor;
            size_t end = cursor;
            while (end < text.size() && IsIdentifier(text[end])) ++end;
            if (text.compare(cursor, end - cursor, name) != 0 || end - cursor != name.size()) continue;
            const size_t open = text.find('{', end);
            const size_t close = open == std::string::npos ? open : text.find('}', open);
            if (close == std::string::npos) continue;
            return text.substr(open, close - open).find("packoffset") != std::string::npos;
        }
    }
    if (mentioned) t.Fail("cannot find the declaration of cbuffer '" + name + "' to read its packoffsets");
    return false;
}

std::vector<ConstantBlock> LayOutConstantBlocks(Translation& t, spvc_resources resources) {
    std::vector<ConstantBlock> blocks;
    size_t count = 0;
    const spvc_reflected_resource* list = List(resources, SPVC_RESOURCE_TYPE_UNIFORM_BUFFER, count);
    for (size_t i = 0; i < count; ++i) {
        const spvc_reflected_resource& resource = list[i];
        const std::string where = resource.name && *resource.name ? resource.name : "cbuffer";
        const PackedType packed = ReadStruct(t, resource.base_type_id, where);
        PackedLayout hlsl = LayOut(packed, Packing::Registers);
        const char* typeName = spvc_compiler_get_name(t.compiler, resource.base_type_id);
        if (UsesPackOffset(t, typeName ? typeName : where)) {
            // The front end has placed the members where packoffset says; what they hold keeps the rules.
            hlsl.size = 0;
            for (unsigned m = 0; m < hlsl.members.size(); ++m) {
                hlsl.members[m].offset = spvc_compiler_get_member_decoration(
                    t.compiler, resource.base_type_id, m, SpvDecorationOffset);
                hlsl.size = std::max(hlsl.size, hlsl.members[m].offset + hlsl.members[m].size);
            }
        }
        const PackedLayout gl = LayOut(packed, Packing::Std140);
        WriteLayout(t, resource.base_type_id, packed, gl, where);

        ConstantBlock block;
        block.slot = spvc_compiler_get_decoration(t.compiler, resource.id, SpvDecorationBinding);
        if (block.slot >= kTextureBase) t.Fail("cbuffer '" + where + "' is bound past register b15");
        block.hlslSize = RoundUp16(hlsl.size);
        block.glSize = RoundUp16(gl.size);
        block.repack = CopyList(packed, hlsl, gl);
        if (IsIdentity(block.repack)) block.repack.clear();
        spvc_compiler_unset_decoration(t.compiler, resource.id, SpvDecorationDescriptorSet);
        blocks.push_back(std::move(block));
    }
    return blocks;
}

// The block the loop budget added: no register of the shader's, bound by the GPU layer by its name.
bool IsLoopBudgetBlock(const Translation& t, const spvc_reflected_resource& resource) {
    const char* name = spvc_compiler_get_name(t.compiler, resource.base_type_id);
    return name && std::string(name) == kLoopBudgetBlock;
}

std::vector<StructuredBlock> LayOutStructuredBlocks(Translation& t, spvc_resources resources) {
    std::vector<StructuredBlock> blocks;
    size_t count = 0;
    const spvc_reflected_resource* list = List(resources, SPVC_RESOURCE_TYPE_STORAGE_BUFFER, count);
    for (size_t i = 0; i < count; ++i) {
        const spvc_reflected_resource& resource = list[i];
        if (IsLoopBudgetBlock(t, resource)) {
            spvc_compiler_unset_decoration(t.compiler, resource.id, SpvDecorationBinding);
            spvc_compiler_unset_decoration(t.compiler, resource.id, SpvDecorationDescriptorSet);
            continue;
        }
        const std::string where = resource.name && *resource.name ? resource.name : "StructuredBuffer";
        const uint32_t binding = spvc_compiler_get_decoration(t.compiler, resource.id, SpvDecorationBinding);
        if (binding < kTextureBase || binding >= kSamplerBase) {
            t.Fail("'" + where + "': only StructuredBuffers at registers t0 to t15 are supported");
        }
        const spvc_type blockType = spvc_compiler_get_type_handle(t.compiler, resource.base_type_id);
        if (spvc_type_get_num_member_types(blockType) != 1)
            t.Fail("'" + where + "': unsupported buffer kind");
        const spvc_type_id arrayId = spvc_type_get_member_type(blockType, 0);
        const spvc_type arrayType = spvc_compiler_get_type_handle(t.compiler, arrayId);
        if (spvc_type_get_num_array_dimensions(arrayType) != 1)
            t.Fail("'" + where + "': unsupported buffer kind");

        // The element, seen as a struct: a StructuredBuffer<float3> is laid out as a struct of one float3.
        PackedType element;
        const bool elementIsStruct = spvc_type_get_basetype(arrayType) == SPVC_BASETYPE_STRUCT;
        const spvc_type_id elementId = spvc_type_get_base_type_id(arrayType);
        if (elementIsStruct) {
            element = ReadStruct(t, elementId, where);
        } else {
            PackedType single = ReadType(t, elementId, resource.base_type_id, 0, where);
            single.arrayLength = 0;
            element.members.push_back(single);
        }
        const PackedLayout hlsl = LayOut(element, Packing::Tight);
        const PackedLayout gl = LayOut(element, Packing::Std430);
        if (elementIsStruct) {
            WriteLayout(t, elementId, element, gl, where);
        } else if (element.members[0].IsMatrix()) {
            spvc_compiler_set_member_decoration(t.compiler, resource.base_type_id, 0,
                                                SpvDecorationMatrixStride, gl.members[0].vectorStride);
        }
        spvc_compiler_set_member_decoration(t.compiler, resource.base_type_id, 0, SpvDecorationOffset, 0);
        spvc_compiler_set_decoration(t.compiler, arrayId, SpvDecorationArrayStride, gl.size);

        StructuredBlock block;
        block.slot = binding - kTextureBase;
        block.hlslStride = hlsl.size;
        block.glStride = gl.size;
        block.repack = CopyList(element, hlsl, gl);
        if (IsIdentity(block.repack) && block.hlslStride == block.glStride) block.repack.clear();
        // Storage blocks have their own binding points in GL: tN binds at N.
        spvc_compiler_set_decoration(t.compiler, resource.id, SpvDecorationBinding, block.slot);
        spvc_compiler_unset_decoration(t.compiler, resource.id, SpvDecorationDescriptorSet);
        blocks.push_back(std::move(block));
    }
    return blocks;
}

// ---------------------------------------------------------------------------------------------
// [Interface]

struct Semantic {
    std::string name;  // upper case, without the index
    uint32_t index = 0;
};

Semantic ParseSemantic(const std::string& text) {
    Semantic semantic;
    size_t digits = text.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(text[digits - 1]))) --digits;
    semantic.name = text.substr(0, digits);
    for (char& c : semantic.name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (digits < text.size() && text.size() - digits < 4) semantic.index = std::stoul(text.substr(digits));
    return semantic;
}

std::string SemanticText(const Semantic& semantic) {
    return semantic.name + std::to_string(semantic.index);
}

// Both stages are compiled apart, so a common semantic's location follows from the semantic alone. Any
// other name (FOG, VIEWDIR, ...) takes a free location of its own stage, in the order of the names; the
// GPU layer moves a pixel stage's such inputs to where the vertex stage it is drawn with wrote them.
constexpr uint32_t kVaryingLocations = 32;
constexpr uint32_t kFirstNamedLocation = 24;

// The fixed location of a common semantic; none for other names.
std::optional<uint32_t> FixedLocation(const Semantic& semantic) {
    struct Fixed {
        const char* name;
        uint32_t first;
        uint32_t count;
    };
    static const Fixed fixed[] = {{"TEXCOORD", 0, 16}, {"COLOR", 16, 2},   {"NORMAL", 18, 2},
                                  {"POSITION", 20, 2}, {"TANGENT", 22, 1}, {"BINORMAL", 23, 1}};
    for (const Fixed& f : fixed) {
        if (semantic.name == f.name && semantic.index < f.count) return f.first + semantic.index;
    }
    return std::nullopt;
}

std::string SemanticOf(const Translation& t, spvc_variable_id id) {
    const char* text = spvc_compiler_get_decoration_string(t.compiler, id, SpvDecorationUserSemantic);
    return text ? text : "";
}

// Number of locations a varying of this type takes: one per vector, matrix column and array element.
uint32_t LocationCount(const Translation& t, spvc_type_id typeId) {
    const spvc_type type = spvc_compiler_get_type_handle(t.compiler, typeId);
    uint32_t count = std::max(1u, spvc_type_get_columns(type));
    for (unsigned d = 0; d < spvc_type_get_num_array_dimensions(type); ++d) {
        count *= std::max(1u, spvc_type_get_array_dimension(type, d));
    }
    return count;
}

uint32_t VectorSize(const Translation& t, spvc_type_id typeId) {
    return spvc_type_get_vector_size(spvc_compiler_get_type_handle(t.compiler, typeId));
}

bool IsBuiltIn(const Translation& t, spvc_variable_id id) {
    return spvc_compiler_has_decoration(t.compiler, id, SpvDecorationBuiltIn);
}

std::vector<VertexInput> ReadVertexInputs(const Translation& t, spvc_resources resources) {
    std::vector<VertexInput> inputs;
    size_t count = 0;
    const spvc_reflected_resource* list = List(resources, SPVC_RESOURCE_TYPE_STAGE_INPUT, count);
    for (size_t i = 0; i < count; ++i) {
        if (IsBuiltIn(t, list[i].id)) continue;
        const std::string text = SemanticOf(t, list[i].id);
        if (text.empty()) t.Fail("vertex input '" + std::string(list[i].name) + "' has no semantic");
        const Semantic semantic = ParseSemantic(text);
        const uint32_t location = spvc_compiler_get_decoration(t.compiler, list[i].id, SpvDecorationLocation);
        const uint32_t span = LocationCount(t, list[i].type_id);
        for (uint32_t k = 0; k < span; ++k)
            inputs.push_back({semantic.name, semantic.index + k, location + k});
    }
    std::sort(inputs.begin(), inputs.end(),
              [](const auto& a, const auto& b) { return a.location < b.location; });
    return inputs;
}

// Places the varyings of one side of the vertex-to-pixel interface by semantic.
std::vector<Varying> PlaceVaryings(const Translation& t, spvc_resources resources, spvc_resource_type side) {
    struct Declared {
        spvc_variable_id id;
        Semantic semantic;
        std::string text;
        uint32_t span;
        uint32_t components;
    };
    std::vector<Declared> fixed, named;
    size_t count = 0;
    const spvc_reflected_resource* list = List(resources, side, count);
    for (size_t i = 0; i < count; ++i) {
        if (IsBuiltIn(t, list[i].id)) continue;
        const std::string text = SemanticOf(t, list[i].id);
        if (text.empty()) t.Fail("varying '" + std::string(list[i].name) + "' has no semantic");
        Declared declared{list[i].id, ParseSemantic(text), text, LocationCount(t, list[i].type_id),
                          VectorSize(t, list[i].type_id)};
        (FixedLocation(declared.semantic) ? fixed : named).push_back(std::move(declared));
    }

    std::vector<Varying> varyings;
    std::map<uint32_t, std::string> taken;
    const auto take = [&](const Declared& d, uint32_t location, bool byName) {
        for (uint32_t k = 0; k < d.span; ++k) {
            const Semantic part{d.semantic.name, d.semantic.index + k};
            const auto [entry, added] = taken.emplace(location + k, SemanticText(part));
            if (!added) {
                t.Fail("varyings " + entry->second + " and " + SemanticText(part) +
                       " share a location; rename one of them (TEXCOORD0 to TEXCOORD15 never collide)");
            }
            varyings.push_back({part.name, part.index, location + k, d.components, byName});
        }
        spvc_compiler_set_decoration(t.compiler, d.id, SpvDecorationLocation, location);
    };
    for (const Declared& d : fixed) {
        const uint32_t location = *FixedLocation(d.semantic);
        for (uint32_t k = 1; k < d.span; ++k) {
            // A matrix or array with a fixed-place semantic takes the semantic's next indices, as in HLSL.
            const auto next = FixedLocation({d.semantic.name, d.semantic.index + k});
            if (!next || *next != location + k) {
                t.Fail("varying " + d.text + " spans " + std::to_string(d.span) +
                       " locations; give it a TEXCOORD semantic with room after it");
            }
        }
        take(d, location, false);
    }
    // The other names in the order of their text, each in the first free run of locations from 24 on
    // (then from 0), so that two stages declaring the same set place it alike.
    std::sort(named.begin(), named.end(), [](const Declared& a, const Declared& b) {
        return SemanticText(a.semantic) < SemanticText(b.semantic);
    });
    for (const Declared& d : named) {
        std::optional<uint32_t> found;
        for (uint32_t step = 0; step < kVaryingLocations && !found; ++step) {
            const uint32_t first = (kFirstNamedLocation + step) % kVaryingLocations;
            if (first + d.span > kVaryingLocations) continue;
            bool free = true;
            for (uint32_t k = 0; k < d.span && free; ++k) free = !taken.count(first + k);
            if (free) found = first;
        }
        if (!found) {
            t.Fail("varying " + d.text + " finds no free location: a stage passes at most " +
                   std::to_string(kVaryingLocations) + " vectors");
        }
        // Named after its semantic, so that the GPU layer finds the declaration in the GLSL text.
        spvc_compiler_set_name(t.compiler, d.id, (kNamedVaryingPrefix + SemanticText(d.semantic)).c_str());
        take(d, *found, true);
    }
    std::sort(varyings.begin(), varyings.end(),
              [](const auto& a, const auto& b) { return a.location < b.location; });
    return varyings;
}

void PlaceTargets(const Translation& t, spvc_resources resources) {
    size_t count = 0;
    const spvc_reflected_resource* list = List(resources, SPVC_RESOURCE_TYPE_STAGE_OUTPUT, count);
    for (size_t i = 0; i < count; ++i) {
        if (IsBuiltIn(t, list[i].id)) continue;
        const Semantic semantic = ParseSemantic(SemanticOf(t, list[i].id));
        if (semantic.name == "SV_TARGET") {
            spvc_compiler_set_decoration(t.compiler, list[i].id, SpvDecorationLocation, semantic.index);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// [Textures]

std::optional<TextureType> ShapeOf(SpvDim dim, spvc_bool arrayed, spvc_bool multisampled) {
    if (multisampled) return std::nullopt;
    switch (dim) {
        case SpvDim1D:
            return arrayed ? TextureType::Texture1DArray : TextureType::Texture1D;
        case SpvDim2D:
            return arrayed ? TextureType::Texture2DArray : TextureType::Texture2D;
        case SpvDim3D:
            return arrayed ? std::nullopt : std::optional(TextureType::Texture3D);
        case SpvDimCube:
            return arrayed ? std::nullopt : std::optional(TextureType::TextureCube);
        default:
            return std::nullopt;
    }
}

std::vector<TextureBinding> CombineTextures(const Translation& t, spvc_resources resources) {
    std::map<spvc_variable_id, spvc_type_id> imageTypes;
    size_t count = 0;
    const spvc_reflected_resource* images = List(resources, SPVC_RESOURCE_TYPE_SEPARATE_IMAGE, count);
    for (size_t i = 0; i < count; ++i) imageTypes[images[i].id] = images[i].base_type_id;
    if (imageTypes.empty()) return {};

    spvc_variable_id dummy = 0;
    if (spvc_compiler_build_dummy_sampler_for_combined_images(t.compiler, &dummy) != SPVC_SUCCESS ||
        spvc_compiler_build_combined_image_samplers(t.compiler) != SPVC_SUCCESS) {
        t.Fail("textures and samplers cannot be combined for GL");
    }
    const spvc_combined_image_sampler* combined = nullptr;
    spvc_compiler_get_combined_image_samplers(t.compiler, &combined, &count);
    std::vector<TextureBinding> textures;
    for (size_t i = 0; i < count; ++i) {
        TextureBinding texture;
        const uint32_t imageBinding =
            spvc_compiler_get_decoration(t.compiler, combined[i].image_id, SpvDecorationBinding);
        if (imageBinding < kTextureBase || imageBinding >= kSamplerBase) {
            t.Fail("texture '" + std::string(spvc_compiler_get_name(t.compiler, combined[i].image_id)) +
                   "' must be at a register t0 to t15");
        }
        texture.textureSlot = imageBinding - kTextureBase;
        if (combined[i].sampler_id != dummy) {
            const uint32_t samplerBinding =
                spvc_compiler_get_decoration(t.compiler, combined[i].sampler_id, SpvDecorationBinding);
            if (samplerBinding < kSamplerBase || samplerBinding >= kUavBase) {
                t.Fail("sampler '" + std::string(spvc_compiler_get_name(t.compiler, combined[i].sampler_id)) +
                       "' must be at a register s0 to s15");
            }
            texture.samplerSlot = static_cast<int>(samplerBinding - kSamplerBase);
        }
        const auto type = imageTypes.find(combined[i].image_id);
        if (type != imageTypes.end()) {
            const spvc_type image = spvc_compiler_get_type_handle(t.compiler, type->second);
            const auto shape =
                ShapeOf(spvc_type_get_image_dimension(image), spvc_type_get_image_arrayed(image),
                        spvc_type_get_image_multisampled(image));
            if (!shape) {
                t.Fail("texture '" + std::string(spvc_compiler_get_name(t.compiler, combined[i].image_id)) +
                       "': only Texture1D, Texture1DArray, Texture2D, Texture2DArray, Texture3D and "
                       "TextureCube are supported");
            }
            texture.type = *shape;
        }
        // The same register pair gets the same name in every stage and every shader.
        texture.name = "Texture" + std::to_string(texture.textureSlot) +
                       (texture.samplerSlot < 0 ? std::string("_Load")
                                                : "_Sampler" + std::to_string(texture.samplerSlot));
        spvc_compiler_set_name(t.compiler, combined[i].combined_id, texture.name.c_str());
        spvc_compiler_unset_decoration(t.compiler, combined[i].combined_id, SpvDecorationBinding);
        spvc_compiler_unset_decoration(t.compiler, combined[i].combined_id, SpvDecorationDescriptorSet);
        textures.push_back(std::move(texture));
    }
    return textures;
}

// ---------------------------------------------------------------------------------------------
// [Compile]

struct ContextDeleter {
    void operator()(spvc_context context) const { spvc_context_destroy(context); }
};

void CaptureError(void* userData, const char* error) {
    auto* text = static_cast<std::string*>(userData);
    if (text->empty()) *text = error;
}

void Check(const Translation& t, spvc_result result, const std::string& lastError, const char* what) {
    if (result != SPVC_SUCCESS) t.Fail(std::string(what) + (lastError.empty() ? "" : ": " + lastError));
}

// GL's #line takes no file name, and drivers need not report the source number it may carry; so each
// file gets a number K, written into the line itself as K * kLinesPerFile + line and named in a comment
// ("// source K: name") that the GPU layer reads back to tell a driver's error at the author's file and
// line. Runs of directives with no code between them keep only the last.
constexpr uint64_t kLinesPerFile = 1000000;

std::string WithNumberedLines(const std::string& glsl) {
    const std::string directive = "#line ";
    std::vector<std::string> files;
    std::string body, pending, version;
    size_t start = 0;
    while (start < glsl.size()) {
        size_t end = glsl.find('\n', start);
        if (end == std::string::npos) end = glsl.size();
        const std::string line = glsl.substr(start, end - start);
        start = end + 1;
        if (line.starts_with("#extension GL_GOOGLE_cpp_style_line_directive")) continue;
        if (version.empty() && line.starts_with("#version")) {
            version = line;
            continue;
        }
        const size_t quote = line.find('"');
        if (line.starts_with(directive) && quote != std::string::npos && line.back() == '"') {
            const std::string file = line.substr(quote + 1, line.size() - quote - 2);
            auto known = std::find(files.begin(), files.end(), file);
            if (known == files.end()) known = files.insert(files.end(), file);
            const uint64_t number = std::strtoull(line.c_str() + directive.size(), nullptr, 10);
            if (number < kLinesPerFile) {
                pending =
                    directive + std::to_string(uint64_t(known - files.begin() + 1) * kLinesPerFile + number);
            }
            continue;
        }
        if (!pending.empty()) body += pending + '\n';
        pending.clear();
        body += line + '\n';
    }
    std::string text = version + '\n';
    for (size_t i = 0; i < files.size(); ++i)
        text += "// source " + std::to_string(i + 1) + ": " + files[i] + '\n';
    return text + body;
}

std::shared_ptr<ShaderCode> Translate(const std::vector<uint32_t>& words, const std::string& name,
                                      const std::string& entryPoint, Stage stage,
                                      const std::vector<const std::string*>& texts) {
    spvc_context rawContext = nullptr;
    if (spvc_context_create(&rawContext) != SPVC_SUCCESS)
        throw CompileError{name + ": error: cannot start SPIRV-Cross"};
    const std::unique_ptr<spvc_context_s, ContextDeleter> context(rawContext);
    std::string lastError;
    spvc_context_set_error_callback(context.get(), CaptureError, &lastError);

    Translation t;
    t.name = name;
    t.texts = &texts;
    spvc_parsed_ir ir = nullptr;
    Check(t, spvc_context_parse_spirv(context.get(), words.data(), words.size(), &ir), lastError,
          "cannot read SPIR-V");
    Check(t,
          spvc_context_create_compiler(context.get(), SPVC_BACKEND_GLSL, ir, SPVC_CAPTURE_MODE_TAKE_OWNERSHIP,
                                       &t.compiler),
          lastError, "cannot translate SPIR-V");

    spvc_resources resources = nullptr;
    Check(t, spvc_compiler_create_shader_resources(t.compiler, &resources), lastError,
          "cannot reflect SPIR-V");

    auto code = std::make_shared<ShaderCode>();
    code->stage = stage;
    code->entryPoint = entryPoint;
    code->constants = LayOutConstantBlocks(t, resources);
    code->structured = LayOutStructuredBlocks(t, resources);
    if (stage == Stage::Vertex) {
        code->inputs = ReadVertexInputs(t, resources);
        code->varyings = PlaceVaryings(t, resources, SPVC_RESOURCE_TYPE_STAGE_OUTPUT);
    } else {
        code->varyings = PlaceVaryings(t, resources, SPVC_RESOURCE_TYPE_STAGE_INPUT);
        PlaceTargets(t, resources);
    }
    code->textures = CombineTextures(t, resources);

    spvc_compiler_options options = nullptr;
    Check(t, spvc_compiler_create_compiler_options(t.compiler, &options), lastError,
          "cannot set GLSL options");
    spvc_compiler_options_set_uint(options, SPVC_COMPILER_OPTION_GLSL_VERSION, 450);
    spvc_compiler_options_set_bool(options, SPVC_COMPILER_OPTION_GLSL_ES, SPVC_FALSE);
    spvc_compiler_options_set_bool(options, SPVC_COMPILER_OPTION_GLSL_VULKAN_SEMANTICS, SPVC_FALSE);
    spvc_compiler_options_set_bool(options, SPVC_COMPILER_OPTION_GLSL_SEPARATE_SHADER_OBJECTS, SPVC_TRUE);
    // SV_InstanceID counts from zero in every draw, as gl_InstanceID does.
    spvc_compiler_options_set_bool(options, SPVC_COMPILER_OPTION_GLSL_SUPPORT_NONZERO_BASE_INSTANCE,
                                   SPVC_FALSE);
    spvc_compiler_options_set_bool(options, SPVC_COMPILER_OPTION_FIXUP_DEPTH_CONVENTION, SPVC_FALSE);
    spvc_compiler_options_set_bool(options, SPVC_COMPILER_OPTION_FLIP_VERTEX_Y, SPVC_FALSE);
    spvc_compiler_options_set_bool(options, SPVC_COMPILER_OPTION_EMIT_LINE_DIRECTIVES, SPVC_TRUE);
    Check(t, spvc_compiler_install_compiler_options(t.compiler, options), lastError,
          "cannot set GLSL options");

    const char* glsl = nullptr;
    Check(t, spvc_compiler_compile(t.compiler, &glsl), lastError, "cannot express the shader in GLSL");
    code->glsl = WithNumberedLines(glsl);

    size_t count = 0;
    const spvc_reflected_resource* list = List(resources, SPVC_RESOURCE_TYPE_UNIFORM_BUFFER, count);
    for (size_t i = 0; i < count; ++i) {
        code->constants[i].name = spvc_compiler_get_remapped_declared_block_name(t.compiler, list[i].id);
    }
    list = List(resources, SPVC_RESOURCE_TYPE_STORAGE_BUFFER, count);
    size_t structured = 0;
    for (size_t i = 0; i < count; ++i) {
        if (IsLoopBudgetBlock(t, list[i])) continue;
        code->structured[structured++].name =
            spvc_compiler_get_remapped_declared_block_name(t.compiler, list[i].id);
    }
    return code;
}

}  // namespace

CompileResult Compile(const std::string& source, const std::string& name, const IncludeResolver& resolve,
                      const std::string& entryPoint, const std::string& target) {
    return CompilerService::Get().Compile(source, name, resolve, entryPoint, target);
}

// The request travels as part of the target, so that it is part of every kept result's key and
// reaches the compiler process unchanged.
constexpr std::string_view kLineMarkers = " with line markers";

std::string WithLineMarkers(const std::string& target) {
    return target + std::string(kLineMarkers);
}

CompileResult CompileInProcess(const std::string& source, const std::string& name,
                               const IncludeResolver& resolve, const std::string& entryPoint,
                               const std::string& requestedTarget, uint32_t loopBudget) {
    CompileResult result;
    const bool lines = requestedTarget.ends_with(kLineMarkers);
    const std::string target =
        lines ? requestedTarget.substr(0, requestedTarget.size() - kLineMarkers.size()) : requestedTarget;
    Stage stage;
    shaderc_shader_kind kind;
    if (target == "vs_4_0") {
        stage = Stage::Vertex;
        kind = shaderc_vertex_shader;
    } else if (target == "ps_4_0") {
        stage = Stage::Pixel;
        kind = shaderc_fragment_shader;
    } else {
        result.errors = name + ": error: unsupported target '" + target + "' (vs_4_0 or ps_4_0)";
        return result;
    }
    if (source.size() > kMaxSourceBytes) {
        result.errors = name + ": error: the source is " + std::to_string(source.size()) +
                        " bytes, larger than " + std::to_string(kMaxSourceBytes >> 20) + " MiB";
        return result;
    }
    try {
        IncludeContext context;
        context.resolve = &resolve;
        context.sourceBytes = source.size();
        std::vector<uint32_t> words = CompileToSpirv(source, name, context, entryPoint, kind, lines);
        if (HasVariableTexelOffsets(words)) {
            std::string where, error;
            if (!MakeTexelOffsetsConstant(words, where, error)) {
                if (!lines) {
                    // Only to name the author's line: the front end again, this time with line markers.
                    context.includes = 0;
                    context.sourceBytes = source.size();
                    std::vector<uint32_t> lined =
                        CompileToSpirv(source, name, context, entryPoint, kind, true);
                    std::string again;
                    MakeTexelOffsetsConstant(lined, where, again);
                }
                throw CompileError{(where.empty() ? name : where) + ": error: " + error};
            }
        }
        bool bounded = false;
        if (loopBudget > 0) {
            std::string error;
            bounded = AddLoopBudget(words, loopBudget, error);
            if (!error.empty()) throw CompileError{name + ": error: loops cannot be bounded: " + error};
        }
        std::vector<const std::string*> texts = {&source};
        for (const auto& [key, contents] : context.answered) {
            if (contents) texts.push_back(&*contents);
        }
        auto code = Translate(words, name, entryPoint, stage, texts);
        code->sourceName = name;
        code->loopBudget = bounded;
        result.code = std::move(code);
    } catch (const CompileError& error) {
        result.errors = error.text;
    }
    return result;
}

}  // namespace Hlsl
