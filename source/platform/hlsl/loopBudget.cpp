// The pass works on the words of the module as the front end wrote them (one function per entry,
// structured control flow, SPIR-V 1.0). Each loop has one back edge, from the last block of its
// continue construct to its header; every iteration crosses it, so that is where the counter goes up
// and where the loop is left once the count is past the budget (a continue construct may branch to
// the loop's merge block, as a do-while does). The flag is set where the entry returns.
#include "platform/hlsl/loopBudget.h"

#include <spirv/unified1/spirv.h>

#include <algorithm>
#include <cstddef>
#include <map>
#include <set>

namespace Hlsl {
namespace {

using Instruction = std::vector<uint32_t>;  // the first word holds word count and opcode

constexpr size_t kHeaderWords = 5;

uint32_t OpcodeOf(const Instruction& instruction) {
    return instruction[0] & 0xffffu;
}

Instruction Make(SpvOp opcode, std::initializer_list<uint32_t> operands) {
    Instruction instruction{0};
    instruction.insert(instruction.end(), operands);
    instruction[0] = (static_cast<uint32_t>(instruction.size()) << 16) | opcode;
    return instruction;
}

// A literal string operand: bytes, zero-terminated, padded to whole words.
Instruction MakeNamed(SpvOp opcode, std::initializer_list<uint32_t> operands, const std::string& text) {
    Instruction instruction{0};
    instruction.insert(instruction.end(), operands);
    std::vector<uint32_t> packed((text.size() + 4) / 4, 0);
    for (size_t i = 0; i < text.size(); ++i)
        packed[i / 4] |= uint32_t(static_cast<uint8_t>(text[i])) << (8 * (i % 4));
    instruction.insert(instruction.end(), packed.begin(), packed.end());
    instruction[0] = (static_cast<uint32_t>(instruction.size()) << 16) | opcode;
    return instruction;
}

bool IsBeforeAnnotations(uint32_t opcode) {
    switch (opcode) {
        case SpvOpCapability:
        case SpvOpExtension:
        case SpvOpExtInstImport:
        case SpvOpMemoryModel:
        case SpvOpEntryPoint:
        case SpvOpExecutionMode:
        case SpvOpExecutionModeId:
        case SpvOpString:
        case SpvOpSourceExtension:
        case SpvOpSource:
        case SpvOpSourceContinued:
        case SpvOpName:
        case SpvOpMemberName:
        case SpvOpModuleProcessed:
            return true;
        default:
            return false;
    }
}

struct Block {
    uint32_t label = 0;
    size_t first = 0;       // index of the OpLabel
    size_t terminator = 0;  // index of the block's last instruction
};

struct Function {
    uint32_t id = 0;
    std::vector<Block> blocks;
};

struct Module {
    std::vector<Instruction> instructions;
    std::vector<Function> functions;
    size_t firstFunction = 0;
    size_t annotationsAt = 0;
    std::set<uint32_t> entryFunctions;
};

bool Parse(const std::vector<uint32_t>& words, Module& module, std::string& error) {
    if (words.size() < kHeaderWords || words[0] != SpvMagicNumber) {
        error = "not a SPIR-V module";
        return false;
    }
    for (size_t at = kHeaderWords; at < words.size();) {
        const uint32_t count = words[at] >> 16;
        if (count == 0 || at + count > words.size()) {
            error = "a SPIR-V instruction runs past the end of the module";
            return false;
        }
        module.instructions.emplace_back(words.begin() + static_cast<std::ptrdiff_t>(at),
                                         words.begin() + static_cast<std::ptrdiff_t>(at + count));
        at += count;
    }
    const auto& list = module.instructions;
    module.firstFunction = list.size();
    module.annotationsAt = list.size();
    Function* function = nullptr;
    for (size_t i = 0; i < list.size(); ++i) {
        const uint32_t opcode = OpcodeOf(list[i]);
        if (module.annotationsAt == list.size() && !IsBeforeAnnotations(opcode)) module.annotationsAt = i;
        if (opcode == SpvOpEntryPoint && list[i].size() > 2) module.entryFunctions.insert(list[i][2]);
        if (opcode == SpvOpFunction && list[i].size() > 2) {
            if (module.firstFunction == list.size()) module.firstFunction = i;
            module.functions.push_back({list[i][2], {}});
            function = &module.functions.back();
        } else if (opcode == SpvOpFunctionEnd) {
            function = nullptr;
        } else if (opcode == SpvOpLabel && function && list[i].size() > 1) {
            function->blocks.push_back({list[i][1], i, i});
        } else if (function && !function->blocks.empty()) {
            function->blocks.back().terminator = i;
        }
    }
    for (const Function& f : module.functions) {
        for (const Block& block : f.blocks) {
            if (block.terminator == block.first) {
                error = "a SPIR-V block without instructions";
                return false;
            }
        }
    }
    if (module.annotationsAt > module.firstFunction) {
        error = "no SPIR-V function";
        return false;
    }
    return true;
}

// Whether the terminator at `instruction` may go to `label`.
bool BranchesTo(const Instruction& instruction, uint32_t label) {
    const uint32_t opcode = OpcodeOf(instruction);
    if (opcode == SpvOpBranch) return instruction.size() > 1 && instruction[1] == label;
    if (opcode == SpvOpBranchConditional)
        return instruction.size() > 3 && (instruction[2] == label || instruction[3] == label);
    return false;
}

class Instrumenter {
public:
    Instrumenter(Module& module, uint32_t bound, uint32_t budget) : m_module(module), m_bound(bound) {
        Declare(budget);
    }

    // Counts the iterations of the loop headed by `header` at its back edge and leaves it past the budget.
    void BoundLoop(const Function& function, size_t header) {
        const Block& head = function.blocks[header];
        const Instruction& merge = m_module.instructions[head.terminator - 1];
        const uint32_t mergeLabel = merge[1];
        for (size_t b = header; b < function.blocks.size(); ++b) {
            const Block& block = function.blocks[b];
            Instruction& branch = m_module.instructions[block.terminator];
            if (!BranchesTo(branch, head.label)) continue;
            // A conditional back edge that may go elsewhere than header or merge is not one the front
            // end writes; such a loop stays as it is rather than being made invalid.
            const bool conditional = OpcodeOf(branch) == SpvOpBranchConditional;
            if (conditional && !(BranchesTo(branch, mergeLabel) && branch[2] != branch[3])) continue;
            const uint32_t previous = Id(), count = Id(), keep = Id();
            std::vector<Instruction> counting = {
                Make(SpvOpLoad, {m_uint, previous, m_counter}),
                Make(SpvOpIAdd, {m_uint, count, previous, m_one}),
                Make(SpvOpStore, {m_counter, count}),
                Make(SpvOpULessThanEqual, {m_bool, keep, count, m_budget}),
            };
            Instruction replaced;
            if (!conditional) {
                replaced = Make(SpvOpBranchConditional, {keep, head.label, mergeLabel});
                m_newPredecessors[mergeLabel].insert(block.label);
            } else {
                const uint32_t condition = branch[1], combined = Id();
                if (branch[2] == head.label) {
                    counting.push_back(Make(SpvOpLogicalAnd, {m_bool, combined, condition, keep}));
                } else {
                    const uint32_t over = Id();
                    counting.push_back(Make(SpvOpLogicalNot, {m_bool, over, keep}));
                    counting.push_back(Make(SpvOpLogicalOr, {m_bool, combined, condition, over}));
                }
                replaced = branch;
                replaced[1] = combined;
            }
            // The merge instruction of a header that is its own back edge must stay just before the branch.
            const size_t before = IsMerge(m_module.instructions[block.terminator - 1]) ? block.terminator - 1
                                                                                       : block.terminator;
            auto& inserted = m_insertBefore[before];
            inserted.insert(inserted.end(), counting.begin(), counting.end());
            branch = replaced;
        }
    }

    // Before the entry returns or discards, it sets the flag when it went past the budget.
    void FlagAtExits(const Function& function) {
        for (const Block& block : function.blocks) {
            const uint32_t opcode = OpcodeOf(m_module.instructions[block.terminator]);
            if (opcode != SpvOpReturn && opcode != SpvOpReturnValue && opcode != SpvOpKill) continue;
            const uint32_t count = Id(), over = Id(), write = Id(), after = Id(), field = Id();
            auto& inserted = m_insertBefore[block.terminator];
            inserted.push_back(Make(SpvOpLoad, {m_uint, count, m_counter}));
            inserted.push_back(Make(SpvOpUGreaterThan, {m_bool, over, count, m_budget}));
            inserted.push_back(Make(SpvOpSelectionMerge, {after, SpvSelectionControlMaskNone}));
            inserted.push_back(Make(SpvOpBranchConditional, {over, write, after}));
            inserted.push_back(Make(SpvOpLabel, {write}));
            inserted.push_back(Make(SpvOpAccessChain, {m_uniformUintPointer, field, m_flag, m_zero}));
            inserted.push_back(Make(SpvOpStore, {field, m_one}));
            inserted.push_back(Make(SpvOpBranch, {after}));
            inserted.push_back(Make(SpvOpLabel, {after}));
        }
    }

    // A merge block reached from a new back edge gets an undefined value from it in each OpPhi: the
    // loop was cut, and what it would have computed is gone anyway.
    void MendPhis() {
        for (const Function& function : m_module.functions) {
            for (const Block& block : function.blocks) {
                const auto added = m_newPredecessors.find(block.label);
                if (added == m_newPredecessors.end()) continue;
                for (size_t i = block.first + 1; i <= block.terminator; ++i) {
                    Instruction& phi = m_module.instructions[i];
                    const uint32_t opcode = OpcodeOf(phi);
                    if (opcode == SpvOpLine || opcode == SpvOpNoLine) continue;
                    if (opcode != SpvOpPhi) break;
                    std::set<uint32_t> parents;
                    for (size_t k = 4; k < phi.size(); k += 2) parents.insert(phi[k]);
                    for (const uint32_t predecessor : added->second) {
                        if (parents.count(predecessor)) continue;
                        phi.push_back(UndefinedOf(phi[1]));
                        phi.push_back(predecessor);
                    }
                    phi[0] = (static_cast<uint32_t>(phi.size()) << 16) | SpvOpPhi;
                }
            }
        }
    }

    std::vector<uint32_t> Write(uint32_t version, uint32_t generator, uint32_t schema) const {
        std::vector<uint32_t> words = {SpvMagicNumber, version, generator, m_bound, schema};
        const auto append = [&words](const Instruction& instruction) {
            words.insert(words.end(), instruction.begin(), instruction.end());
        };
        const auto& list = m_module.instructions;
        for (size_t i = 0; i < list.size(); ++i) {
            if (i == m_module.annotationsAt) {
                for (const Instruction& name : m_names) append(name);
                for (const Instruction& decoration : m_decorations) append(decoration);
            }
            if (i == m_module.firstFunction) {
                for (const Instruction& global : m_globals) append(global);
                for (const auto& [type, id] : m_undefined) append(Make(SpvOpUndef, {type, id}));
            }
            const auto inserted = m_insertBefore.find(i);
            if (inserted != m_insertBefore.end()) {
                for (const Instruction& instruction : inserted->second) append(instruction);
            }
            append(list[i]);
        }
        return words;
    }

private:
    static bool IsMerge(const Instruction& instruction) {
        const uint32_t opcode = OpcodeOf(instruction);
        return opcode == SpvOpLoopMerge || opcode == SpvOpSelectionMerge;
    }

    uint32_t Id() { return m_bound++; }

    uint32_t UndefinedOf(uint32_t type) {
        auto found = m_undefined.find(type);
        if (found == m_undefined.end()) found = m_undefined.emplace(type, Id()).first;
        return found->second;
    }

    // The types, constants and variables the pass uses. A scalar type the module has is reused: two
    // declarations of one scalar type are not allowed.
    void Declare(uint32_t budget) {
        for (const Instruction& instruction : m_module.instructions) {
            const uint32_t opcode = OpcodeOf(instruction);
            if (opcode == SpvOpTypeInt && instruction.size() == 4 && instruction[2] == 32 &&
                instruction[3] == 0)
                m_uint = instruction[1];
            if (opcode == SpvOpTypeBool && instruction.size() == 2) m_bool = instruction[1];
        }
        if (!m_uint) m_globals.push_back(Make(SpvOpTypeInt, {m_uint = Id(), 32, 0}));
        if (!m_bool) m_globals.push_back(Make(SpvOpTypeBool, {m_bool = Id()}));
        m_zero = Id(), m_one = Id(), m_budget = Id();
        m_globals.push_back(Make(SpvOpConstant, {m_uint, m_zero, 0}));
        m_globals.push_back(Make(SpvOpConstant, {m_uint, m_one, 1}));
        m_globals.push_back(Make(SpvOpConstant, {m_uint, m_budget, budget}));

        const uint32_t privatePointer = Id();
        m_counter = Id();
        m_globals.push_back(Make(SpvOpTypePointer, {privatePointer, SpvStorageClassPrivate, m_uint}));
        m_globals.push_back(Make(SpvOpVariable, {privatePointer, m_counter, SpvStorageClassPrivate, m_zero}));
        m_names.push_back(MakeNamed(SpvOpName, {m_counter}, "loopIterations"));

        const uint32_t block = Id(), blockPointer = Id();
        m_uniformUintPointer = Id();
        m_flag = Id();
        m_globals.push_back(Make(SpvOpTypeStruct, {block, m_uint}));
        m_globals.push_back(Make(SpvOpTypePointer, {blockPointer, SpvStorageClassUniform, block}));
        m_globals.push_back(Make(SpvOpTypePointer, {m_uniformUintPointer, SpvStorageClassUniform, m_uint}));
        m_globals.push_back(Make(SpvOpVariable, {blockPointer, m_flag, SpvStorageClassUniform}));
        m_names.push_back(MakeNamed(SpvOpName, {block}, kLoopBudgetBlock));
        m_names.push_back(MakeNamed(SpvOpMemberName, {block, 0}, "reached"));
        m_names.push_back(MakeNamed(SpvOpName, {m_flag}, "loopBudget"));
        // Storage blocks of SPIR-V 1.0 are Uniform blocks decorated BufferBlock. The binding is the GPU
        // layer's to give; set 1 keeps it apart from the shader's own registers meanwhile.
        m_decorations.push_back(Make(SpvOpDecorate, {block, SpvDecorationBufferBlock}));
        m_decorations.push_back(Make(SpvOpMemberDecorate, {block, 0, SpvDecorationOffset, 0}));
        m_decorations.push_back(Make(SpvOpDecorate, {m_flag, SpvDecorationDescriptorSet, 1}));
        m_decorations.push_back(Make(SpvOpDecorate, {m_flag, SpvDecorationBinding, 0}));
    }

    Module& m_module;
    uint32_t m_bound;
    uint32_t m_uint = 0, m_bool = 0, m_zero = 0, m_one = 0, m_budget = 0;
    uint32_t m_counter = 0, m_flag = 0, m_uniformUintPointer = 0;
    std::vector<Instruction> m_names, m_decorations, m_globals;
    std::map<uint32_t, uint32_t> m_undefined;  // type -> OpUndef of it
    std::map<size_t, std::vector<Instruction>> m_insertBefore;
    std::map<uint32_t, std::set<uint32_t>> m_newPredecessors;  // merge block -> new back edges into it
};

}  // namespace

bool AddLoopBudget(std::vector<uint32_t>& words, uint32_t budget, std::string& error) {
    error.clear();
    Module module;
    if (!Parse(words, module, error)) return false;
    const bool loops = std::any_of(module.instructions.begin(), module.instructions.end(),
                                   [](const Instruction& i) { return OpcodeOf(i) == SpvOpLoopMerge; });
    if (!loops) return false;

    Instrumenter instrumenter(module, words[3], budget);
    for (const Function& function : module.functions) {
        for (size_t b = 0; b < function.blocks.size(); ++b) {
            const Block& block = function.blocks[b];
            const Instruction& merge = module.instructions[block.terminator - 1];
            if (block.terminator > block.first + 0 && OpcodeOf(merge) == SpvOpLoopMerge && merge.size() >= 3)
                instrumenter.BoundLoop(function, b);
        }
    }
    instrumenter.MendPhis();
    for (const Function& function : module.functions) {
        if (module.entryFunctions.count(function.id)) instrumenter.FlagAtExits(function);
    }
    words = instrumenter.Write(words[1], words[2], words[4]);
    return true;
}

}  // namespace Hlsl
