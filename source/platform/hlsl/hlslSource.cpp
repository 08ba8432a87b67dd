// Sections: tokens | the pass over one file | unsupported constructs | macros of the front end
#include "platform/hlsl/hlslSource.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <vector>

namespace Hlsl {
namespace {

// ---------------------------------------------------------------------------------------------
// Tokens

// What the pass needs to see of C-like text: names, numbers, strings and single punctuation
// characters. Comments and preprocessor lines are not tokens: they are never blanked or moved, so
// that #if/#endif pairs and the author's notes stay where they were.
struct Token {
    size_t begin = 0;
    size_t end = 0;
    bool name = false;
};

bool IsNameStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

std::vector<Token> Tokenize(std::string_view text) {
    std::vector<Token> tokens;
    bool lineStart = true;
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\n') {
            lineStart = true;
            ++i;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
            while (i < text.size() && text[i] != '\n') ++i;
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
            const size_t close = text.find("*/", i + 2);
            i = close == std::string_view::npos ? text.size() : close + 2;
        } else if (c == '#' && lineStart) {
            // A directive runs to the end of its line, or further with backslash continuations.
            while (i < text.size() && text[i] != '\n') {
                if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
                ++i;
            }
        } else {
            lineStart = false;
            Token token{i, i + 1, false};
            if (IsNameStart(c)) {
                while (token.end < text.size() && IsNameChar(text[token.end])) ++token.end;
                token.name = true;
            } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                       (c == '.' && i + 1 < text.size() &&
                        std::isdigit(static_cast<unsigned char>(text[i + 1])))) {
                // 1.5e-3f is one token: a sign belongs to it right after the exponent's e.
                while (token.end < text.size()) {
                    const char at = text[token.end];
                    const bool sign = (at == '+' || at == '-') &&
                                      (text[token.end - 1] == 'e' || text[token.end - 1] == 'E');
                    if (!IsNameChar(at) && at != '.' && !sign) break;
                    ++token.end;
                }
            } else if (c == '"' || c == '\'') {
                while (token.end < text.size() && text[token.end] != c && text[token.end] != '\n') {
                    if (text[token.end] == '\\') ++token.end;
                    ++token.end;
                }
                token.end = std::min(token.end + 1, text.size());
            }
            tokens.push_back(token);
            i = token.end;
        }
    }
    return tokens;
}

// ---------------------------------------------------------------------------------------------
// The pass over one file

constexpr size_t kNone = size_t(-1);

bool IsOneOf(std::string_view word, std::initializer_list<std::string_view> words) {
    return std::find(words.begin(), words.end(), word) != words.end();
}

// Types written with template arguments: their '<' opens arguments, not an annotation.
bool TakesTemplateArguments(std::string_view type) {
    return type.find("Texture") != std::string_view::npos || type.find("Buffer") != std::string_view::npos ||
           IsOneOf(type, {"vector", "matrix", "InputPatch", "OutputPatch", "PointStream", "LineStream",
                          "TriangleStream"});
}

class SourcePass {
public:
    explicit SourcePass(std::string_view text) : m_text(text), m_tokens(Tokenize(text)), m_out(text) {
        // Where each token's search for the end of an annotation stops, found once from the back: a
        // file of many '<' and no '>' must not cost a scan to its end per '<'.
        m_annotationStop.resize(m_tokens.size() + 1, kNone);
        for (size_t k = m_tokens.size(); k-- > 0;) {
            m_annotationStop[k] = Is(k, ">") || Is(k, "{") || Is(k, "}") ? k : m_annotationStop[k + 1];
        }
    }

    std::string Run() {
        size_t i = 0;
        while (i < m_tokens.size()) {
            Declarations(i, false);
            ++i;  // a '}' without its '{' at file level: not ours to judge
        }
        // Moved statics go in from the back, so that the earlier positions still hold.
        std::sort(m_insertions.begin(), m_insertions.end(),
                  [](const auto& a, const auto& b) { return a.first > b.first; });
        for (const auto& [at, text] : m_insertions) m_out.insert(at, text);
        return std::move(m_out);
    }

private:
    std::string_view Text(size_t i) const {
        if (i >= m_tokens.size()) return {};
        return m_text.substr(m_tokens[i].begin, m_tokens[i].end - m_tokens[i].begin);
    }
    bool Is(size_t i, std::string_view word) const { return Text(i) == word; }
    bool IsName(size_t i) const { return i < m_tokens.size() && m_tokens[i].name; }

    // Spaces over tokens first..last, newlines kept.
    void Blank(size_t first, size_t last) {
        for (size_t k = first; k <= last && k < m_tokens.size(); ++k) {
            for (size_t c = m_tokens[k].begin; c < m_tokens[k].end; ++c) {
                if (m_out[c] != '\n') m_out[c] = ' ';
            }
        }
    }

    // The '}' that closes the '{' at `open`, or kNone when the file ends first.
    size_t ClosingBrace(size_t open) const {
        int depth = 0;
        for (size_t k = open; k < m_tokens.size(); ++k) {
            if (Is(k, "{")) ++depth;
            if (Is(k, "}") && --depth == 0) return k;
        }
        return kNone;
    }

    // The '>' that ends an annotation opened at `open`; kNone where braces or the file's end come first
    // (then the '<' was not an annotation).
    size_t AnnotationEnd(size_t open) const {
        const size_t stop = m_annotationStop[std::min(open + 1, m_tokens.size())];
        return stop != kNone && Is(stop, ">") ? stop : kNone;
    }

    // The ';' that ends the statement starting at `first`, outside brackets and braces; kNone where
    // the enclosing scope or the file ends first.
    size_t StatementEnd(size_t first) const {
        int depth = 0;
        for (size_t k = first; k < m_tokens.size(); ++k) {
            const std::string_view t = Text(k);
            if (t == "(" || t == "[" || t == "{") ++depth;
            if (t == ")" || t == "]" || t == "}") {
                if (depth == 0) return kNone;
                --depth;
            }
            if (t == ";" && depth == 0) return k;
        }
        return kNone;
    }

    bool HasDirective(size_t first, size_t last) const {
        for (size_t c = m_tokens[first].begin; c < m_tokens[last].end; ++c) {
            if (m_text[c] != '\n') continue;
            size_t next = c + 1;
            while (next < m_text.size() && (m_text[next] == ' ' || m_text[next] == '\t')) ++next;
            if (next < m_text.size() && m_text[next] == '#') return true;
        }
        return false;
    }

    // Statements of the file level (inBuffer false) or of a cbuffer body, up to the '}' that closes
    // it (left unconsumed) or the end of the file. Returns the statics taken out of a cbuffer body.
    std::string Declarations(size_t& i, bool inBuffer) {
        std::string moved;
        while (i < m_tokens.size() && !Is(i, "}")) Statement(i, inBuffer, moved);
        return moved;
    }

    void Statement(size_t& i, bool inBuffer, std::string& moved) {
        const size_t first = i;
        const std::string_view head = Text(first);
        if (!inBuffer && IsOneOf(head, {"technique", "technique10", "technique11"}) && Technique(i)) return;
        if (IsOneOf(head, {"BlendState", "DepthStencilState", "RasterizerState"})) {
            const size_t end = StatementEnd(first);
            if (end != kNone) {
                Blank(first, end);
                i = end + 1;
                return;
            }
        }
        if (inBuffer && head == "static") {
            const size_t end = StatementEnd(first);
            if (end != kNone && !HasDirective(first, end)) {
                // On the closing brace's line: a string continued over lines joins into one.
                for (size_t k = first; k <= end; ++k) moved += " " + std::string(Text(k));
                std::replace(moved.begin(), moved.end(), '\n', ' ');
                Blank(first, end);
                i = end + 1;
                return;
            }
        }
        // Buffers do not nest: inside one, a second is left to the front end to refuse.
        const bool buffer = !inBuffer && IsOneOf(head, {"cbuffer", "tbuffer"});
        bool sampler = false;
        for (size_t k = first; k < first + 3 && k < m_tokens.size(); ++k) {
            sampler = sampler || IsOneOf(Text(k), {"SamplerState", "SamplerComparisonState", "sampler",
                                                   "sampler1D", "sampler2D", "sampler3D", "samplerCUBE"});
        }
        bool initialiser = false;
        int depth = 0;
        for (; i < m_tokens.size(); ++i) {
            const std::string_view t = Text(i);
            if (t == "(" || t == "[") ++depth;
            if ((t == ")" || t == "]") && depth > 0) --depth;
            if (depth > 0) continue;
            if (t == ";") {
                ++i;
                return;
            }
            if (t == "}") return;  // the enclosing scope ends; the caller takes the brace
            if (t == ",") initialiser = false;
            if (t == "=" && sampler) {
                // `= sampler_state { ... }` and `= { ... }`: the sampler stays, its state goes.
                const size_t open = Is(i + 1, "sampler_state") ? i + 2 : i + 1;
                const size_t close = Is(open, "{") ? ClosingBrace(open) : kNone;
                if (close != kNone) {
                    Blank(i, close);
                    i = close;
                    continue;
                }
            }
            if (t == "=") initialiser = true;
            if (t == "<" && !initialiser && i > first && OpensAnnotation(i)) {
                const size_t close = AnnotationEnd(i);
                if (close != kNone) {
                    Blank(i, close);
                    i = close;
                    continue;
                }
            }
            if (t != "{") continue;
            if (buffer && !initialiser) {
                size_t body = i + 1;
                const std::string statics = Declarations(body, true);
                if (body >= m_tokens.size()) {
                    i = body;
                    return;
                }
                size_t close = body;
                i = body + 1;
                if (Is(i, ";")) close = i++;
                if (!statics.empty()) m_insertions.emplace_back(m_tokens[close].end, statics);
                return;
            }
            const size_t close = ClosingBrace(i);
            if (close == kNone) {
                i = m_tokens.size();
                return;
            }
            if (sampler && !initialiser) {
                Blank(i, close);
                i = close;
                continue;
            }
            i = close;
            // A function or struct body ends the statement; an initialiser list does not.
            if (!initialiser) {
                ++i;
                return;
            }
        }
    }

    // `technique11 Name <annotations> { pass ... }` with an optional ';': blanked whole. False when
    // the words after the keyword are not a technique (then it is the author's own name).
    bool Technique(size_t& i) {
        size_t open = i + 1;
        if (IsName(open)) ++open;
        if (Is(open, "<")) {
            const size_t close = AnnotationEnd(open);
            if (close == kNone) return false;
            open = close + 1;
        }
        if (!Is(open, "{")) return false;
        size_t end = ClosingBrace(open);
        if (end == kNone) return false;
        if (Is(end + 1, ";")) ++end;
        Blank(i, end);
        i = end + 1;
        return true;
    }

    // Outside an initialiser, '<' after a declarator (a name that is not a template type, or the ')' of
    // a register or the ']' of an array size) opens an annotation.
    bool OpensAnnotation(size_t at) const {
        const size_t before = at - 1;
        if (Is(before, ")") || Is(before, "]")) return true;
        return IsName(before) && !TakesTemplateArguments(Text(before));
    }

    std::string_view m_text;
    std::vector<Token> m_tokens;
    std::string m_out;
    std::vector<std::pair<size_t, std::string>> m_insertions;
    std::vector<size_t> m_annotationStop;
};

// ---------------------------------------------------------------------------------------------
// Unsupported constructs

// The text of line `number` (from 1), empty past the end.
std::string_view LineOf(std::string_view text, size_t number) {
    size_t begin = 0;
    for (size_t line = 1; line < number; ++line) {
        begin = text.find('\n', begin);
        if (begin == std::string_view::npos) return {};
        ++begin;
    }
    const size_t end = text.find('\n', begin);
    return text.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin);
}

// Constructs the front end rejects that authors write, found among the tokens of one line.
std::vector<std::string> UnsupportedOn(std::string_view line) {
    std::vector<std::string> found;
    const std::vector<Token> tokens = Tokenize(line);
    auto text = [&](size_t k) {
        return k < tokens.size() ? line.substr(tokens[k].begin, tokens[k].end - tokens[k].begin)
                                 : std::string_view();
    };
    for (size_t k = 0; k < tokens.size(); ++k) {
        if (text(k) == "interface") found.push_back("an 'interface' declaration");
        if (text(k) == "class" && text(k + 2) == ":") found.push_back("a class that implements an interface");
        // (float[4])v: a cast to an array type.
        if (text(k) == "(" && tokens.size() > k + 3 && tokens[k + 1].name && text(k + 2) == "[") {
            size_t close = k + 3;
            while (close < tokens.size() && text(close) != "]") ++close;
            if (text(close + 1) == ")") found.push_back("a cast to an array type");
        }
    }
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

// What a call of `name` is when it is one the translation cannot carry to GL although the front end
// reads it; null for any other name. Those fail after the front end, where no line is known.
const char* BeyondTranslationCall(std::string_view name) {
    if (name.starts_with("Wave")) return "a wave operation of shader model 6";
    if (name.starts_with("QuadRead")) return "a quad operation of shader model 6";
    if (name.starts_with("EvaluateAttribute")) return "an attribute evaluated at a sample or offset";
    if (name.starts_with("GetRenderTargetSample")) return "a query of the render target's samples";
    return nullptr;
}

}  // namespace

std::string ReadAsDirect3D(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    return SourcePass(text).Run();
}

// ---------------------------------------------------------------------------------------------
// Macros of the front end

const std::string& MacroReset() {
    // Found by compiling `#ifdef NAME` for every name the front end's library spells after a
    // `#define`, as vertex and as pixel shader, in the options of an HLSL compile.
    static const std::string reset = [] {
        static constexpr std::string_view kNames =
            "GL_AMD_gcn_shader GL_AMD_gpu_shader_half_float GL_AMD_gpu_shader_half_float_fetch "
            "GL_AMD_gpu_shader_int16 GL_AMD_shader_ballot GL_AMD_shader_explicit_vertex_parameter "
            "GL_AMD_shader_fragment_mask GL_AMD_shader_image_load_store_lod GL_AMD_shader_trinary_minmax "
            "GL_AMD_texture_gather_bias_lod GL_ARB_bindless_texture GL_ARB_compute_shader "
            "GL_ARB_derivative_control GL_ARB_draw_instanced GL_ARB_enhanced_layouts "
            "GL_ARB_explicit_attrib_location GL_ARB_explicit_uniform_location "
            "GL_ARB_fragment_coord_conventions "
            "GL_ARB_fragment_shader_interlock GL_ARB_gpu_shader5 GL_ARB_gpu_shader_fp64 "
            "GL_ARB_gpu_shader_int64 "
            "GL_ARB_post_depth_coverage GL_ARB_sample_shading GL_ARB_separate_shader_objects "
            "GL_ARB_shader_atomic_counters GL_ARB_shader_ballot GL_ARB_shader_bit_encoding "
            "GL_ARB_shader_draw_parameters GL_ARB_shader_group_vote GL_ARB_shader_image_load_store "
            "GL_ARB_shader_image_size GL_ARB_shader_stencil_export GL_ARB_shader_storage_buffer_object "
            "GL_ARB_shader_texture_image_samples GL_ARB_shader_texture_lod GL_ARB_shading_language_420pack "
            "GL_ARB_shading_language_packing GL_ARB_sparse_texture2 GL_ARB_sparse_texture_clamp "
            "GL_ARB_tessellation_shader GL_ARB_texture_cube_map_array GL_ARB_texture_gather "
            "GL_ARB_texture_multisample GL_ARB_texture_query_lod GL_ARB_texture_rectangle "
            "GL_ARB_uniform_buffer_object GL_ARB_vertex_attrib_64bit GL_ARB_viewport_array "
            "GL_EXT_buffer_reference "
            "GL_EXT_buffer_reference2 GL_EXT_buffer_reference_uvec2 GL_EXT_control_flow_attributes "
            "GL_EXT_debug_printf GL_EXT_demote_to_helper_invocation GL_EXT_device_group "
            "GL_EXT_fragment_invocation_density GL_EXT_fragment_shader_barycentric "
            "GL_EXT_fragment_shading_rate "
            "GL_EXT_mesh_shader GL_EXT_multiview GL_EXT_nonuniform_qualifier GL_EXT_null_initializer "
            "GL_EXT_post_depth_coverage GL_EXT_ray_cull_mask GL_EXT_ray_flags_primitive_culling "
            "GL_EXT_ray_query "
            "GL_EXT_ray_tracing GL_EXT_samplerless_texture_functions GL_EXT_scalar_block_layout "
            "GL_EXT_shader_16bit_storage GL_EXT_shader_8bit_storage GL_EXT_shader_atomic_float "
            "GL_EXT_shader_atomic_float2 GL_EXT_shader_atomic_int64 GL_EXT_shader_explicit_arithmetic_types "
            "GL_EXT_shader_explicit_arithmetic_types_float16 GL_EXT_shader_explicit_arithmetic_types_float32 "
            "GL_EXT_shader_explicit_arithmetic_types_float64 GL_EXT_shader_explicit_arithmetic_types_int16 "
            "GL_EXT_shader_explicit_arithmetic_types_int32 GL_EXT_shader_explicit_arithmetic_types_int64 "
            "GL_EXT_shader_explicit_arithmetic_types_int8 GL_EXT_shader_image_int64 "
            "GL_EXT_shader_image_load_formatted GL_EXT_shader_integer_mix "
            "GL_EXT_shader_non_constant_global_initializers GL_EXT_shader_realtime_clock "
            "GL_EXT_shader_subgroup_extended_types_float16 GL_EXT_shader_subgroup_extended_types_int16 "
            "GL_EXT_shader_subgroup_extended_types_int64 GL_EXT_shader_subgroup_extended_types_int8 "
            "GL_EXT_shared_memory_block GL_EXT_spirv_intrinsics GL_EXT_subgroup_uniform_control_flow "
            "GL_EXT_terminate_invocation GL_FRAGMENT_PRECISION_HIGH GL_FRAGMENT_SHADER "
            "GL_GOOGLE_cpp_style_line_directive GL_GOOGLE_include_directive "
            "GL_INTEL_shader_integer_functions2 "
            "GL_KHR_blend_equation_advanced GL_KHR_shader_subgroup_arithmetic GL_KHR_shader_subgroup_ballot "
            "GL_KHR_shader_subgroup_basic GL_KHR_shader_subgroup_clustered GL_KHR_shader_subgroup_quad "
            "GL_KHR_shader_subgroup_shuffle GL_KHR_shader_subgroup_shuffle_relative "
            "GL_KHR_shader_subgroup_vote "
            "GL_NV_compute_shader_derivatives GL_NV_conservative_raster_underestimation "
            "GL_NV_cooperative_matrix "
            "GL_NV_fragment_shader_barycentric GL_NV_geometry_shader_passthrough "
            "GL_NV_integer_cooperative_matrix "
            "GL_NV_mesh_shader GL_NV_ray_tracing GL_NV_ray_tracing_motion_blur "
            "GL_NV_sample_mask_override_coverage "
            "GL_NV_shader_atomic_int64 GL_NV_shader_execution_reorder GL_NV_shader_sm_builtins "
            "GL_NV_shader_subgroup_partitioned GL_NV_shader_texture_footprint GL_NV_shading_rate_image "
            "GL_NV_viewport_array2 GL_OVR_multiview GL_OVR_multiview2 GL_VERTEX_SHADER GL_core_profile "
            "VULKAN ";
        std::string lines;
        size_t at = 0;
        while (at < kNames.size()) {
            const size_t end = kNames.find(' ', at);
            lines += "#undef " + std::string(kNames.substr(at, end - at)) + "\n";
            at = end + 1;
        }
        return lines + "#line 1\n";
    }();
    return reset;
}

std::string ExplainUnsupported(const std::string& errors,
                               const std::map<std::string, std::string_view>& files) {
    std::string explained;
    std::set<std::string> said;
    std::set<std::pair<std::string, size_t>> looked;
    size_t begin = 0;
    while (begin < errors.size()) {
        size_t end = errors.find('\n', begin);
        if (end == std::string::npos) end = errors.size();
        const std::string_view line(errors.data() + begin, end - begin);
        begin = end + 1;
        // "name:line: error: ..."
        const size_t error = line.find(": error:");
        if (error == std::string_view::npos) continue;
        size_t colon = error;
        while (colon > 0 && std::isdigit(static_cast<unsigned char>(line[colon - 1]))) --colon;
        if (colon == error || error - colon > 9 || colon == 0 || line[colon - 1] != ':') continue;
        const std::string name(line.substr(0, colon - 1));
        const size_t number = std::stoul(std::string(line.substr(colon, error - colon)));
        const auto file = files.find(name);
        if (file == files.end()) continue;
        // A file's lines are looked at once each, however many errors point at them.
        if (!looked.insert({name, number}).second) continue;
        for (const std::string& construct : UnsupportedOn(LineOf(file->second, number))) {
            const std::string text =
                name + ":" + std::to_string(number) + ": error: " + construct + " is not supported\n";
            if (said.insert(text).second) explained += text;
        }
    }
    // No error pointed at a line of the author's (the optimizer or the compiler itself gave up): the
    // calls known to end that way are named where they stand.
    const bool unplaced = errors.find("failed to optimize") != std::string::npos ||
                          errors.find("crashed the compiler") != std::string::npos;
    if (looked.empty() && unplaced) {
        for (const auto& [name, text] : files) {
            const std::vector<Token> tokens = Tokenize(text);
            for (size_t k = 0; k + 1 < tokens.size(); ++k) {
                const std::string_view word = text.substr(tokens[k].begin, tokens[k].end - tokens[k].begin);
                if (!tokens[k].name || text.substr(tokens[k + 1].begin, 1) != "(") continue;
                const char* what = BeyondTranslationCall(word);
                if (!what) continue;
                const size_t number =
                    1 + static_cast<size_t>(std::count(text.begin(), text.begin() + tokens[k].begin, '\n'));
                const std::string line = name + ":" + std::to_string(number) + ": error: '" +
                                         std::string(word) + "' (" + what + ") is not supported\n";
                if (said.insert(line).second) explained += line;
            }
        }
    }
    if (explained.empty()) return errors;
    std::string result = errors;
    if (!result.empty() && result.back() != '\n') result += '\n';
    return result + explained;
}

}  // namespace Hlsl
