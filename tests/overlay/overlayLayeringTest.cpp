// The overlay keeps its user-interface library to itself: nothing else under source/ includes it, and
// the overlay reaches nothing of the program's entry folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

namespace {

TEST(OverlayLayering, InterfaceLibraryStaysInTheOverlayFolder) {
    const std::filesystem::path source = std::filesystem::path(VANTRISK_SOURCE_DIR) / "source";
    static const std::regex include(R"(^\s*#\s*include\s*[<"]([^>"]+)[>"])");
    int overlayFiles = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(source)) {
        const std::string extension = entry.path().extension().string();
        if (!entry.is_regular_file() || (extension != ".h" && extension != ".cpp")) continue;
        const std::string relative = std::filesystem::relative(entry.path(), source).string();
        const bool inOverlay = relative.rfind("overlay/", 0) == 0;
        overlayFiles += inOverlay;
        std::ifstream in(entry.path());
        std::string line;
        for (int number = 1; std::getline(in, line); ++number) {
            std::smatch match;
            if (!std::regex_search(line, match, include)) continue;
            const std::string name = match[1].str();
            if (!inOverlay) {
                EXPECT_EQ(name.find("imgui"), std::string::npos)
                    << relative << ":" << number << " includes " << name;
            } else {
                EXPECT_NE(name.rfind("main/", 0), 0u) << relative << ":" << number << " includes " << name;
            }
        }
    }
    EXPECT_GT(overlayFiles, 4);
}

}  // namespace
