// The pass works on the words of the module as the front end wrote them (one function per entry,
// structured control flow, SPIR-V 1.0). Each loop has one back edge, from the last block of its
// continue construct to its header. The counter goes up once per iteration where the loop tests its
// condition (its header or the block after it), and that test fails once the count is past the
// budget, so no edge is added; a loop tested at its end or not at all is tested at its back edge
// instead (a continue construct may branch to the loop's merge block, as a do-while does). The flag
// is set where the entry returns.
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

    // Counts the iterations of the loop headed by `header` and leaves it at its test past the budget.
    // The test goes where the loop already tests its condition when it can (the header, or the block
    // the header goes on to), so that no edge is added; else the header gets the loop's merge block as
    // a second target, so that values the loop carries in header OpPhis are current when it leaves.
    void BoundLoop(const Function& function, size_t header) {
        const Block& head = function.blocks[header];
        const uint32_t mergeLabel = m_module.instructions[head.terminator - 1][1];
        const auto leaves = [mergeLabel](const Instruction& branch) {
            return OpcodeOf(branch) == SpvOpBranchConditional && branch.size() >= 4 &&
                   (branch[2] == mergeLabel) != (branch[3] == mergeLabel);
        };
        const Instruction& branch = m_module.instructions[head.terminator];
        if (leaves(branch)) return CountIn(head, mergeLabel, head);
        if (OpcodeOf(branch) == SpvOpBranch && branch.size() == 2) {
            for (const Block& next : function.blocks) {
                if (next.label != branch[1] || next.label == head.label || next.label == mergeLabel) continue;
                if (leaves(m_module.instructions[next.terminator]) &&
                    !IsMerge(m_module.instructions[next.terminator - 1]))
                    return CountIn(next, mergeLabel, head);
            }
        }
        // A loop tested at its end (do-while) or not at all (while true): count at the back edge, the
        // one block after the header (or the header itself) that branches to it. Values the loop
        // defines before its breaks still dominate its merge block then.
        for (size_t b = header; b < function.blocks.size(); ++b) {
            const Block& block = function.blocks[b];
            const Instruction& back = m_module.instructions[block.terminator];
            if (!BranchesTo(back, head.label)) continue;
            if (OpcodeOf(back) == SpvOpBranch || leaves(back)) CountIn(block, mergeLabel, head);
        }
    }

    // Counts one iteration in `block` and makes its branch go to `exit` once past the budget: a
    // conditional branch that already may go there keeps its other target only within the budget,
    // an unconditional one gets `exit` as its second target.
    void CountIn(const Block& block, uint32_t exit, const Block& head) {
        Instruction& branch = m_module.instructions[block.terminator];
        const uint32_t previous = Id(), count = Id(), keep = Id();
        std::vector<Instruction> counting = {
            Make(SpvOpLoad, {m_uint, previous, m_counter}),
            Make(SpvOpIAdd, {m_uint, count, previous, m_one}),
            Make(SpvOpStore, {m_counter, count}),
            Make(SpvOpULessThanEqual, {m_bool, keep, count, m_budget}),
        };
        Instruction replaced;
        if (OpcodeOf(branch) == SpvOpBranch) {
            replaced = Make(SpvOpBranchConditional, {keep, branch[1], exit});
            m_newPredecessors[exit][block.label] = &head;
        } else {
            const uint32_t condition = branch[1], combined = Id();
            if (branch[3] == exit) {
                counting.push_back(Make(SpvOpLogicalAnd, {m_bool, combined, condition, keep}));
            } else {
                const uint32_t over = Id();
                counting.push_back(Make(SpvOpLogicalNot, {m_bool, over, keep}));
                counting.push_back(Make(SpvOpLogicalOr, {m_bool, combined, condition, over}));
            }
            replaced = branch;
            replaced[1] = combined;
        }
        // A merge instruction must stay just before the branch.
        const size_t before =
            IsMerge(m_module.instructions[block.terminator - 1]) ? block.terminator - 1 : block.terminator;
        auto& inserted = m_insertBefore[before];
        inserted.insert(inserted.end(), counting.begin(), counting.end());
        branch = replaced;
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

    // A merge block reached from a new back edge needs a value from it in each OpPhi: what the loop
    // would have left had it gone on to its next test. A value the loop carries in a header OpPhi
    // has that; anything else is undefined (the loop was cut, and what it would have computed is
    // gone anyway).
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
                    for (const auto& [predecessor, header] : added->second) {
                        if (parents.count(predecessor)) continue;
                        uint32_t value = 0;
                        for (size_t k = 3; k + 1 < phi.size() && !value; k += 2)
                            value = CarriedValue(*header, phi[k], predecessor);
                        phi.push_back(value ? value : UndefinedOf(phi[1]));
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

    // What the back edge `from` carries to the loop header `header` for `value`: when `value` is an
    // OpPhi of the header, its value from the back edge; when it is itself the value an OpPhi of the
    // header takes from the back edge, `value` (it is defined where the back edge leaves). Else 0.
    uint32_t CarriedValue(const Block& header, uint32_t value, uint32_t from) const {
        for (size_t i = header.first + 1; i < header.terminator; ++i) {
            const Instruction& phi = m_module.instructions[i];
            const uint32_t opcode = OpcodeOf(phi);
            if (opcode == SpvOpLine || opcode == SpvOpNoLine) continue;
            if (opcode != SpvOpPhi) break;
            for (size_t k = 3; k + 1 < phi.size(); k += 2) {
                if (phi[k + 1] == from && (phi[2] == value || phi[k] == value)) return phi[k];
            }
        }
        return 0;
    }

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
    std::map<uint32_t, std::map<uint32_t, const Block*>>
        m_newPredecessors;  // merge -> new back edge -> header
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
