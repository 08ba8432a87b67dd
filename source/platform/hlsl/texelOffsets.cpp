#include "platform/hlsl/texelOffsets.h"

#include <spirv/unified1/spirv.h>
#include <spirv-tools/optimizer.hpp>

#include <map>
#include <set>

namespace Hlsl {
namespace {

constexpr size_t kHeaderWords = 5;

// Where the image-operands mask of a texture read sits (in words from the instruction's start); 0 for
// instructions that are no texture read, and for gathers, which GL lets take a variable offset.
size_t OperandsMaskAt(uint32_t opcode) {
    switch (opcode) {
        case SpvOpImageSampleImplicitLod:
        case SpvOpImageSampleExplicitLod:
        case SpvOpImageSampleProjImplicitLod:
        case SpvOpImageSampleProjExplicitLod:
        case SpvOpImageFetch:
            return 5;
        case SpvOpImageSampleDrefImplicitLod:
        case SpvOpImageSampleDrefExplicitLod:
        case SpvOpImageSampleProjDrefImplicitLod:
        case SpvOpImageSampleProjDrefExplicitLod:
            return 6;
        default:
            return 0;
    }
}

bool IsConstant(uint32_t opcode) {
    return (opcode >= SpvOpConstantTrue && opcode <= SpvOpConstantNull) ||
           (opcode >= SpvOpSpecConstantTrue && opcode <= SpvOpSpecConstantOp);
}

// A texture read whose offset operand is not a constant: where its mask and its offset sit.
struct VariableOffset {
    size_t mask = 0;    // word index of the image-operands mask
    size_t offset = 0;  // word index of the offset operand
    std::string line;   // "file:line" of the last line marker before it, if any
};

// Walks the module, calling `visit` with each texture read that carries an Offset operand, the operand's
// word index, whether it names a constant, and the last line marker seen.
template <typename Visit>
void ForEachOffset(const std::vector<uint32_t>& words, Visit&& visit) {
    std::set<uint32_t> constants;
    std::map<uint32_t, std::string> files;
    std::string line;
    for (size_t at = kHeaderWords; at < words.size();) {
        const uint32_t count = words[at] >> SpvWordCountShift;
        const uint32_t opcode = words[at] & SpvOpCodeMask;
        if (count == 0 || at + count > words.size()) return;
        if (IsConstant(opcode) && count > 2) constants.insert(words[at + 2]);
        if (opcode == SpvOpString && count > 2) {
            files[words[at + 1]] = reinterpret_cast<const char*>(&words[at + 2]);
        } else if (opcode == SpvOpLine && count >= 3) {
            const auto file = files.find(words[at + 1]);
            line =
                (file == files.end() ? std::string("?") : file->second) + ":" + std::to_string(words[at + 2]);
        } else if (opcode == SpvOpNoLine || opcode == SpvOpFunctionEnd) {
            line.clear();
        }
        const size_t maskAt = OperandsMaskAt(opcode);
        if (maskAt && maskAt < count && (words[at + maskAt] & SpvImageOperandsOffsetMask)) {
            const uint32_t mask = words[at + maskAt];
            size_t operand = at + maskAt + 1;
            if (mask & SpvImageOperandsBiasMask) ++operand;
            if (mask & SpvImageOperandsLodMask) ++operand;
            if (mask & SpvImageOperandsGradMask) operand += 2;
            if (mask & SpvImageOperandsConstOffsetMask) ++operand;
            if (operand < at + count) {
                visit(VariableOffset{at + maskAt, operand, line}, constants.count(words[operand]) > 0);
            }
        }
        at += count;
    }
}

// Asks for every loop of the module to be unrolled.
void MarkLoopsForUnrolling(std::vector<uint32_t>& words) {
    for (size_t at = kHeaderWords; at < words.size();) {
        const uint32_t count = words[at] >> SpvWordCountShift;
        if (count == 0) return;
        if ((words[at] & SpvOpCodeMask) == SpvOpLoopMerge && count >= 4 && at + 3 < words.size()) {
            words[at + 3] =
                (words[at + 3] & ~uint32_t(SpvLoopControlDontUnrollMask)) | SpvLoopControlUnrollMask;
        }
        at += count;
    }
}

}  // namespace

bool HasVariableTexelOffsets(const std::vector<uint32_t>& words) {
    bool found = false;
    ForEachOffset(words, [&](const VariableOffset&, bool constant) { found = found || !constant; });
    return found;
}

bool MakeTexelOffsetsConstant(std::vector<uint32_t>& words, std::string& where, std::string& error) {
    MarkLoopsForUnrolling(words);
    // The front end's code keeps locals in memory and calls the entry from a wrapper; the unroller wants
    // the loop counter as an SSA value, so the code is first inlined and put in SSA form.
    std::string messages;
    const auto run = [&](std::vector<uint32_t>& module,
                         const std::vector<spvtools::Optimizer::PassToken (*)()>& passes) {
        spvtools::Optimizer optimizer(SPV_ENV_VULKAN_1_0);
        optimizer.SetMessageConsumer(
            [&](spv_message_level_t level, const char*, const spv_position_t&, const char* text) {
                if (level <= SPV_MSG_ERROR && messages.empty()) messages = text;
            });
        for (const auto& pass : passes) optimizer.RegisterPass(pass());
        // The input breaks a Vulkan rule on purpose (a variable offset outside a gather): it is what is
        // being repaired, so the validator is not asked.
        spvtools::OptimizerOptions options;
        options.set_run_validator(false);
        std::vector<uint32_t> optimized;
        if (!optimizer.Run(module.data(), module.size(), &optimized, options)) return false;
        module = std::move(optimized);
        return true;
    };
    using spvtools::Optimizer;
    static Optimizer::PassToken (*const scalarReplacement)() = [] {
        return spvtools::CreateScalarReplacementPass();
    };
    static Optimizer::PassToken (*const unroll)() = [] { return spvtools::CreateLoopUnrollPass(true); };
    std::vector<uint32_t> optimized = words;
    // Unrolled, a counter indexing a table of offsets folds to a constant index: then, in a second run
    // (the unroller leaves the first one's analyses stale), the table's elements become values of their
    // own, and the reads of them constants.
    if (!run(optimized, {spvtools::CreateInlineExhaustivePass, spvtools::CreateEliminateDeadFunctionsPass,
                         spvtools::CreatePrivateToLocalPass, scalarReplacement,
                         spvtools::CreateLocalSingleBlockLoadStoreElimPass,
                         spvtools::CreateLocalSingleStoreElimPass, spvtools::CreateSSARewritePass,
                         spvtools::CreateCCPPass, spvtools::CreateSimplificationPass, unroll}) ||
        !run(optimized, {spvtools::CreateCCPPass, spvtools::CreateSimplificationPass, scalarReplacement,
                         spvtools::CreateSSARewritePass, spvtools::CreateCCPPass,
                         spvtools::CreateSimplificationPass, spvtools::CreateDeadBranchElimPass})) {
        error = "the loops around it cannot be unrolled" + (messages.empty() ? "" : " (" + messages + ")");
        return false;
    }
    // An offset now constant is marked so, as GL reads it.
    bool variable = false;
    ForEachOffset(optimized, [&](const VariableOffset& read, bool constant) {
        if (constant && !(optimized[read.mask] & SpvImageOperandsConstOffsetMask)) {
            optimized[read.mask] = (optimized[read.mask] & ~uint32_t(SpvImageOperandsOffsetMask)) |
                                   SpvImageOperandsConstOffsetMask;
        } else if (!constant && !variable) {
            variable = true;
            where = read.line;
        }
    });
    if (variable) {
        error =
            "the texel offset of a texture read must be known when the shader is compiled (a constant, "
            "or computed from the counters of loops with a constant number of iterations)";
        return false;
    }
    words = std::move(optimized);
    return true;
}

}  // namespace Hlsl
