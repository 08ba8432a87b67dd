// Test helpers shared by the suites: a temporary folder that removes itself, PhysicsFS set up on it,
// and small file and text utilities.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace TestSupport {

/// A fresh folder under the system's temporary directory, removed with everything in it at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    /// The folder's path.
    const std::filesystem::path& Path() const { return m_path; }
    /// Writes a file below the folder (creating sub-folders) and returns its path.
    std::filesystem::path Write(const std::string& relative, const std::string& contents) const;

private:
    std::filesystem::path m_path;
};

/// PhysicsFS started for one test: `root` mounted at the root of the virtual tree and set as the
/// write directory; the log forgets its file so that it opens anew there. Undone at the end.
class MountedData {
public:
    explicit MountedData(const std::filesystem::path& root, bool writable = true);
    ~MountedData();
    MountedData(const MountedData&) = delete;
    MountedData& operator=(const MountedData&) = delete;
};

/// Reads a whole file from the host file system ("" when missing).
std::string ReadHostFile(const std::filesystem::path& path);

/// The lines of a text, without their line feeds; a final line feed starts no empty line.
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace TestSupport
