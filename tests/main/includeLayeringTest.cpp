// The floors of the source tree include only downwards: the program's entry folder (source/main)
// sits on top, and nothing below it may reach up into it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

// Every quoted include of a file, with its line number.
std::vector<std::pair<int, std::string>> QuotedIncludes(const std::filesystem::path& file) {
    static const std::regex include(R"(^\s*#\s*include\s*"([^"]+)\")");
    std::vector<std::pair<int, std::string>> found;
    std::ifstream in(file);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        std::smatch match;
        if (std::regex_search(line, match, include)) found.emplace_back(number, match[1].str());
    }
    return found;
}

TEST(IncludeLayering, NoFolderBelowTheEntryFolderIncludesFromIt) {
    const std::filesystem::path source = std::filesystem::path(VANTRISK_SOURCE_DIR) / "source";
    int checked = 0;
    for (const char* folder : {"graphics", "effects", "system", "physics", "platform"}) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(source / folder)) {
            const std::string extension = entry.path().extension().string();
            if (!entry.is_regular_file() || (extension != ".h" && extension != ".cpp")) continue;
            ++checked;
            for (const auto& [line, name] : QuotedIncludes(entry.path())) {
                EXPECT_NE(name.rfind("main/", 0), 0u)
                    << std::filesystem::relative(entry.path(), source).string() << ":" << line
                    << " includes \"" << name << "\" from the program's entry folder";
            }
        }
    }
    // The walk itself must have found the tree.
    EXPECT_GT(checked, 20);
}

}  // namespace
