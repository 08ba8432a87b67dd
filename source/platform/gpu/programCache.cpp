#include "platform/gpu/programCache.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/hlsl/contentHash.h"
#include "platform/hlsl/shaderCache.h"
#include "system/log.h"

namespace Gpu::Detail {

namespace {

constexpr char kFunction[] = "Gpu::ProgramCache";
constexpr char kExtension[] = ".glprog";

// A file: this magic, the binary's format and length, the digest of the format and the binary, the
// binary.
constexpr char kMagic[8] = {'V', 'T', 'G', 'L', 'P', 'R', 'G', '1'};
struct Header {
    char magic[8];
    uint32_t format;
    uint32_t length;
    Hlsl::ContentHash::Digest digest;
};
static_assert(sizeof(Header) == 32);

// The largest binary believed: a file claiming more is damaged, not a program.
constexpr uint32_t kMaxBinaryBytes = 64u << 20;

Hlsl::ContentHash::Digest DigestOf(uint32_t format, const std::vector<char>& binary) {
    Hlsl::ContentHash hash;
    hash.Update(&format, sizeof format);
    hash.Update(binary.data(), binary.size());
    return hash.Finish();
}

}  // namespace

ProgramCache::ProgramCache(std::string folder, std::string driver, uint64_t maxBytes)
    : m_folder(std::move(folder)), m_driver(std::move(driver)), m_maxBytes(maxBytes) {}

std::string ProgramCache::PathOf(GLenum stage, const std::string& glsl) const {
    if (m_folder.empty()) return "";
    Hlsl::ContentHash hash;
    hash.UpdateField(m_driver);
    hash.UpdateField(stage == GL_FRAGMENT_SHADER ? "pixel" : "vertex");
    hash.UpdateField(glsl);
    return m_folder + "/" + Hlsl::ContentHash::Hex(hash.Finish()) + kExtension;
}

GLuint ProgramCache::Load(GLenum stage, const std::string& glsl) const {
    const std::string path = PathOf(stage, glsl);
    if (path.empty()) return 0;
    std::ifstream file(path, std::ios::binary);
    if (!file) return 0;  // never stored: the usual cold start

    Header header{};
    const char* problem = nullptr;
    std::vector<char> binary;
    if (!file.read(reinterpret_cast<char*>(&header), sizeof header)) {
        problem = "shorter than its header";
    } else if (std::memcmp(header.magic, kMagic, sizeof kMagic) != 0) {
        problem = "not a program binary";
    } else if (header.length == 0 || header.length > kMaxBinaryBytes) {
        problem = "an impossible length";
    } else {
        binary.resize(header.length);
        if (!file.read(binary.data(), std::streamsize(binary.size())) || file.peek() != EOF)
            problem = "not the length its header gives";
        else if (DigestOf(header.format, binary) != header.digest)
            problem = "damaged";
    }
    if (problem) {
        VLOG(kFunction, "The stored program '%s' is %s; compiling its shader again", path.c_str(), problem);
        return 0;
    }

    const GLuint program = glCreateProgram();
    if (!program) return 0;
    glProgramParameteri(program, GL_PROGRAM_SEPARABLE, GL_TRUE);
    glProgramBinary(program, header.format, binary.data(), GLsizei(binary.size()));
    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked) return program;
    // The driver changed under an unchanged name: what it made before is simply made again.
    glDeleteProgram(program);
    return 0;
}

bool ProgramCache::Store(GLenum stage, const std::string& glsl, GLuint program) const {
    const std::string path = PathOf(stage, glsl);
    if (path.empty()) return false;
    GLint length = 0;
    glGetProgramiv(program, GL_PROGRAM_BINARY_LENGTH, &length);
    if (length <= 0 || uint32_t(length) > kMaxBinaryBytes) return false;
    std::vector<char> binary(static_cast<size_t>(length));
    GLsizei written = 0;
    GLenum format = 0;
    glGetProgramBinary(program, length, &written, &format, binary.data());
    if (written <= 0) return false;
    binary.resize(static_cast<size_t>(written));

    Header header{};
    std::memcpy(header.magic, kMagic, sizeof kMagic);
    header.format = format;
    header.length = uint32_t(binary.size());
    header.digest = DigestOf(format, binary);

    std::error_code error;
    std::filesystem::create_directories(m_folder, error);
    if (error) return false;
    // Written aside and renamed into place, so that another run never reads half a file.
    static std::atomic<unsigned> s_sequence{0};
    const std::string part =
        path + "." + std::to_string(getpid()) + "-" + std::to_string(s_sequence++) + ".part";
    {
        std::ofstream file(part, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(&header), sizeof header);
        file.write(binary.data(), std::streamsize(binary.size()));
        if (!file.flush()) {
            file.close();
            std::filesystem::remove(part, error);
            return false;
        }
    }
    std::filesystem::rename(part, path, error);
    if (error) {
        std::filesystem::remove(part, error);
        return false;
    }
    Trim();
    return true;
}

void ProgramCache::Trim() const {
    Hlsl::TrimCacheFolder(m_folder, kExtension, m_maxBytes);
}

}  // namespace Gpu::Detail
