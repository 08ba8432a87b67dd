// Buffer layouts of every shape a shader may declare: the input bytes choose a cbuffer and a
// StructuredBuffer element (scalars, vectors, matrices of either majorness, arrays, nested structs),
// which must compile, and whose copy lists must move every component exactly once into the GL block.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/hlsl/hlslCompiler.h"

namespace {

class Bytes {
public:
    Bytes(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    uint32_t Next(uint32_t range) { return m_position < m_size ? m_data[m_position++] % range : 0; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_position = 0;
};

struct Generated {
    std::string declarations;  // struct types the members need
    int structs = 0;
};

// One member declaration; adds its component bytes to `bytes`.
std::string Member(Bytes& in, Generated& generated, int depth, uint32_t& bytes, int index) {
    static const struct {
        const char* name;
        uint32_t components;
    } kTypes[] = {{"float", 1},    {"float2", 2},    {"float3", 3},    {"float4", 4},    {"int", 1},
                  {"uint2", 2},    {"int3", 3},      {"float2x2", 4},  {"float2x3", 6},  {"float3x2", 6},
                  {"float3x3", 9}, {"float3x4", 12}, {"float4x3", 12}, {"float4x4", 16}, {"float4x2", 8}};
    const uint32_t arrayLength = in.Next(4) == 0 ? 1 + in.Next(3) : 0;
    const uint32_t copies = arrayLength ? arrayLength : 1;
    std::string type;
    if (depth < 2 && in.Next(6) == 0) {
        const std::string name = "S" + std::to_string(generated.structs++);
        const uint32_t members = 1 + in.Next(4);
        std::string body;
        uint32_t structBytes = 0;
        for (uint32_t m = 0; m < members; ++m)
            body += "    " + Member(in, generated, depth + 1, structBytes, m) + ";\n";
        generated.declarations += "struct " + name + "\n{\n" + body + "};\n";
        type = name;
        bytes += structBytes * copies;
    } else {
        const auto& chosen = kTypes[in.Next(sizeof(kTypes) / sizeof(kTypes[0]))];
        type = chosen.name;
        if (chosen.components > 4 || std::string(chosen.name) == "float2x2") {
            if (in.Next(2)) type = "row_major " + type;
        }
        bytes += 4 * chosen.components * copies;
    }
    return type + " m" + std::to_string(depth) + "_" + std::to_string(index) +
           (arrayLength ? "[" + std::to_string(arrayLength) + "]" : "");
}

[[noreturn]] void Fail(const std::string& what, const std::string& source) {
    std::fprintf(stderr, "%s\nsource:\n%s\n", what.c_str(), source.c_str());
    std::abort();
}

void CheckCopies(const std::vector<Hlsl::CopyRange>& copies, uint32_t sourceSize, uint32_t destinationSize,
                 uint32_t expectedBytes, const std::string& source) {
    uint32_t total = 0;
    std::vector<bool> written(destinationSize, false);
    uint32_t previousEnd = 0;
    for (const auto& range : copies) {
        if (range.source < previousEnd) Fail("copy sources overlap or go backwards", source);
        previousEnd = range.source + range.size;
        if (previousEnd > sourceSize) Fail("copy reads past the HLSL block", source);
        if (range.destination + range.size > destinationSize) Fail("copy writes past the GL block", source);
        for (uint32_t b = range.destination; b < range.destination + range.size; ++b) {
            if (written[b]) Fail("two copies write one byte", source);
            written[b] = true;
        }
        total += range.size;
    }
    if (total != expectedBytes) {
        Fail("copies move " + std::to_string(total) + " bytes, not " + std::to_string(expectedBytes), source);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes in(data, size);
    Generated generated;
    uint32_t constantBytes = 0;
    uint32_t elementBytes = 0;
    std::string cbuffer = "cbuffer Constants : register(b2)\n{\n";
    // Unused blocks are stripped, so each holds one float that the shader reads, somewhere among the rest.
    const uint32_t constantMembers = 1 + in.Next(8);
    const uint32_t constantUse = in.Next(constantMembers + 1);
    for (uint32_t m = 0; m <= constantMembers; ++m) {
        if (m == constantUse) {
            cbuffer += "    float useC;\n";
            constantBytes += 4;
            continue;
        }
        cbuffer += "    " + Member(in, generated, 0, constantBytes, static_cast<int>(m)) + ";\n";
    }
    cbuffer += "};\n";
    std::string element = "struct Element\n{\n";
    const uint32_t elementMembers = 1 + in.Next(6);
    const uint32_t elementUse = in.Next(elementMembers + 1);
    for (uint32_t m = 0; m <= elementMembers; ++m) {
        if (m == elementUse) {
            element += "    float useE;\n";
            elementBytes += 4;
            continue;
        }
        element += "    " + Member(in, generated, 1, elementBytes, static_cast<int>(m)) + ";\n";
    }
    element += "};\n";
    const std::string source = generated.declarations + cbuffer + element +
                               "StructuredBuffer<Element> elements : register(t4);\n"
                               "float4 VS(float3 p : POSITION, uint id : SV_InstanceID) : SV_Position\n"
                               "{\n    return float4(p, useC + elements[id].useE);\n}\n";

    const Hlsl::IncludeResolver none = [](const std::string&, const std::string&, std::string&) {
        return false;
    };
    // In this process, so that a fault of the translation is the fuzzer's to see (and no two inputs
    // share a kept result).
    const auto result = Hlsl::CompileInProcess(source, "layout.fx", none, "VS", "vs_4_0");
    if (!result) Fail("a plain buffer layout did not compile:\n" + result.errors, source);
    if (result.code->constants.size() != 1 || result.code->structured.size() != 1)
        Fail("a block went missing", source);

    const auto& constants = result.code->constants[0];
    if (constants.slot != 2 || constants.hlslSize % 16 != 0 || constants.glSize % 16 != 0) {
        Fail("constant block slot or size", source);
    }
    if (!constants.repack.empty()) {
        CheckCopies(constants.repack, constants.hlslSize, constants.glSize, constantBytes, source);
    } else if (constants.hlslSize > constants.glSize) {
        Fail("identical layouts of different sizes", source);
    }
    const auto& structured = result.code->structured[0];
    if (structured.slot != 4 || structured.hlslStride != elementBytes)
        Fail("structured slot or stride", source);
    if (!structured.repack.empty()) {
        CheckCopies(structured.repack, structured.hlslStride, structured.glStride, elementBytes, source);
    } else if (structured.hlslStride != structured.glStride) {
        Fail("no repack between different strides", source);
    }
    return 0;
}
