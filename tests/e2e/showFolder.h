// A show's working folder for running the built program: data/ (and optionally demo.dat) with a
// script, "final.fx" from the bundled demo, and music made on the spot.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/gpuFixture.h"
#include "support/tempFolder.h"

namespace TestSupport {

class ShowFolder {
public:
    ShowFolder();

    /// The working folder to start the program in.
    const std::filesystem::path& Path() const { return m_folder.Path(); }
    /// Writes a file into data/.
    void WriteData(const std::string& name, const std::string& contents) const;
    /// Packs the given files (name, contents) into demo.dat.
    void WriteArchive(const std::vector<std::pair<std::string, std::string>>& files) const;
    /// The script's "demo" element with these attributes and this body.
    static std::string Script(const std::string& attributes, const std::string& body = "");
    /// A mono 16-bit WAV of `seconds` of a quiet tone.
    static std::string Wave(double seconds, int rate = 22050);
    /// "final.fx" of the bundled demo.
    static std::string FinalShader();
    /// The log file the program wrote.
    std::string Log() const { return ReadHostFile(Path() / "Vantrisk.log"); }

private:
    TempFolder m_folder;
};

/// The texts of the log lines (after the stamp and location prefix), in order.
std::vector<std::string> LogTexts(const std::string& log);

/// A PNG file's width, height and bit depth times channels, read from its header (0s when not PNG).
struct PngInfo {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
};
PngInfo ReadPngInfo(const std::filesystem::path& path);

/// A picture file decoded to RGBA (empty when it cannot be read).
Image ReadPicture(const std::filesystem::path& path);

}  // namespace TestSupport
