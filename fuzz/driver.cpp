// A small stand-alone driver for the fuzz targets, so that every build runs them briefly without
// libFuzzer: seeds from files named on the command line or in fuzz/corpus/<target>/, then random
// bytes and mutations of the seeds (bit flips, cuts, splices, repeated chunks), all from a fixed
// random seed so a failure reproduces. "--runs N" and "--seconds S" bound the runs.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {
std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> Mutate(std::vector<uint8_t> input, const std::vector<std::vector<uint8_t>>& seeds,
                            std::mt19937& rng) {
    const int steps = 1 + static_cast<int>(rng() % 8);
    for (int i = 0; i < steps; ++i) {
        switch (rng() % 6) {
            case 0:  // flip a bit
                if (!input.empty()) input[rng() % input.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
                break;
            case 1:  // random byte
                if (!input.empty()) input[rng() % input.size()] = static_cast<uint8_t>(rng());
                break;
            case 2:  // truncate
                if (!input.empty()) input.resize(rng() % input.size());
                break;
            case 3: {  // insert a chunk of another seed
                if (seeds.empty()) break;
                const auto& other = seeds[rng() % seeds.size()];
                if (other.empty()) break;
                const size_t from = rng() % other.size();
                const size_t length = 1 + rng() % std::min<size_t>(64, other.size() - from);
                const size_t at = input.empty() ? 0 : rng() % input.size();
                input.insert(input.begin() + at, other.begin() + from, other.begin() + from + length);
                break;
            }
            case 4: {  // duplicate a chunk
                if (input.empty()) break;
                const size_t from = rng() % input.size();
                const size_t length = 1 + rng() % std::min<size_t>(32, input.size() - from);
                std::vector<uint8_t> chunk(input.begin() + from, input.begin() + from + length);
                input.insert(input.begin() + from, chunk.begin(), chunk.end());
                break;
            }
            default: {  // erase a chunk
                if (input.empty()) break;
                const size_t from = rng() % input.size();
                const size_t length = 1 + rng() % std::min<size_t>(32, input.size() - from);
                input.erase(input.begin() + from, input.begin() + from + length);
                break;
            }
        }
    }
    return input;
}
}  // namespace

int main(int argc, char** argv) {
    long runs = 2000;
    double seconds = 0;  // when given, the runs stop at this time too
    std::vector<std::vector<uint8_t>> seeds;
    std::string self = std::filesystem::path(argv[0]).filename().string();
    if (self.rfind("fuzz_", 0) == 0) self = self.substr(5);

    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::strtol(argv[++i], nullptr, 10);
        } else if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::strtod(argv[++i], nullptr);
        } else {
            seeds.push_back(ReadFile(argv[i]));
        }
    }
    const std::filesystem::path corpus = std::filesystem::path("corpus") / self;
    std::error_code error;
    if (std::filesystem::is_directory(corpus, error)) {
        for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
            if (entry.is_regular_file()) seeds.push_back(ReadFile(entry.path()));
        }
    }

    for (const auto& seed : seeds) LLVMFuzzerTestOneInput(seed.data(), seed.size());

    std::mt19937 rng(12345);
    const auto start = std::chrono::steady_clock::now();
    long run = 0;
    for (; run < runs; ++run) {
        if (seconds > 0 && run % 64 == 0 &&
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() > seconds)
            break;
        std::vector<uint8_t> input;
        if (seeds.empty() || rng() % 10 == 0) {
            input.resize(rng() % 512);
            for (auto& byte : input) byte = static_cast<uint8_t>(rng());
        } else {
            input = Mutate(seeds[rng() % seeds.size()], seeds, rng);
        }
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %zu seeds, %ld runs in %.1f s, no crash\n", self.c_str(), seeds.size(), run, took);
    return 0;
}
