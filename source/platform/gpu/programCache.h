// Linked GL programs kept on disk between runs. A warm start hands each stage's stored driver binary
// back to the driver instead of compiling and linking its GLSL again, which spares the driver's
// compiler altogether when every program of the show is known. A binary is keyed by the GLSL text,
// the stage and the driver's identity; a file that is damaged is logged and the program compiled as
// if it had never been stored, and a binary the driver no longer takes is quietly compiled again.
#pragma once

#include <epoxy/gl.h>

#include <cstdint>
#include <string>

namespace Gpu::Detail {

class ProgramCache {
public:
    /// Beyond this many bytes of binaries the oldest are removed.
    static constexpr uint64_t kDefaultMaxBytes = uint64_t(64) << 20;

    /// A cache in the host folder `folder` (made on the first store; "" keeps nothing) for the driver
    /// named by `driver` (its vendor, renderer and version strings).
    ProgramCache(std::string folder, std::string driver, uint64_t maxBytes = kDefaultMaxBytes);

    /// The separable program of `stage` (GL_VERTEX_SHADER or GL_FRAGMENT_SHADER) made from its stored
    /// binary of `glsl`; 0 when none is stored, the file is damaged (logged) or the driver refuses it.
    GLuint Load(GLenum stage, const std::string& glsl) const;
    /// Keeps the binary of `program`, just linked from `glsl`; false when the driver gives none or the
    /// file cannot be written (the next start compiles again).
    bool Store(GLenum stage, const std::string& glsl, GLuint program) const;

    /// The host file that holds the binary of `glsl` for `stage` ("" without a folder).
    std::string PathOf(GLenum stage, const std::string& glsl) const;

private:
    void Trim() const;

    std::string m_folder;
    std::string m_driver;
    uint64_t m_maxBytes;
};

}  // namespace Gpu::Detail
