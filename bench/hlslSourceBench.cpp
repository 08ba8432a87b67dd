// Cost of reading HLSL as authors save it: every entry of every bundled shader compiled in this
// process (no cache, includes from the repository's data), and the text pass alone over the same
// files, which is what that reading adds in front of the front end.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "platform/hlsl/hlslCompiler.h"
#include "platform/hlsl/hlslSource.h"

namespace {

namespace fs = std::filesystem;

struct Entry {
    std::string file, source, name, target;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const fs::path kData = fs::path(VANTRISK_SOURCE_DIR) / "data";

// "VS" and every function that returns SV_Target, in each bundled ".fx" file.
const std::vector<Entry>& BundledEntries() {
    static const std::vector<Entry> entries = [] {
        std::vector<Entry> all;
        const std::regex pixel(R"((\w+)\s*\([^)]*\)\s*:\s*SV_Target)");
        for (const auto& item : fs::directory_iterator(kData)) {
            if (item.path().extension() != ".fx") continue;
            const std::string source = ReadFile(item.path());
            const std::string file = item.path().filename().string();
            all.push_back({file, source, "VS", "vs_4_0"});
            for (auto it = std::sregex_iterator(source.begin(), source.end(), pixel);
                 it != std::sregex_iterator(); ++it)
                all.push_back({file, source, (*it)[1], "ps_4_0"});
        }
        return all;
    }();
    return entries;
}

const Hlsl::IncludeResolver kFromData = [](const std::string& requested, const std::string&,
                                           std::string& contents) {
    if (!fs::is_regular_file(kData / requested)) return false;
    contents = ReadFile(kData / requested);
    return true;
};

void BM_CompileBundledShaders(benchmark::State& state) {
    for (auto _ : state) {
        for (const Entry& entry : BundledEntries()) {
            auto result =
                Hlsl::CompileInProcess(entry.source, entry.file, kFromData, entry.name, entry.target);
            if (!result) return state.SkipWithError((entry.file + ": " + result.errors).c_str());
            benchmark::DoNotOptimize(result);
        }
    }
    state.SetLabel(std::to_string(BundledEntries().size()) + " entries");
}
BENCHMARK(BM_CompileBundledShaders)->Unit(benchmark::kMillisecond);

void BM_SourcePassOverBundledShaders(benchmark::State& state) {
    for (auto _ : state) {
        for (const Entry& entry : BundledEntries())
            benchmark::DoNotOptimize(Hlsl::ReadAsDirect3D(entry.source));
    }
}
BENCHMARK(BM_SourcePassOverBundledShaders)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
