// Where the program finds its compiler process and, installed, its cache: a build folder keeps the
// compiler beside the program; an installed tree keeps it under ../libexec/vantrisk; the cache goes
// to $XDG_CACHE_HOME or ~/.cache, or nowhere when neither can be written.
#include "platform/programFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/tempFolder.h"

namespace {

namespace fs = std::filesystem;
using TestSupport::TempFolder;

void WriteExecutable(const TempFolder& folder, const std::string& relative) {
    const fs::path path = folder.Write(relative, "#!/bin/sh\n");
    fs::permissions(path, fs::perms::owner_all);
}

TEST(ProgramFiles, CompilerIsFoundBesideTheProgramOrInTheInstalledTree) {
    struct Case {
        const char* name;
        std::vector<const char*> executables;  // relative to the tree's root
        const char* expected;                  // relative to the tree's root, "" for none
        bool installed;
    };
    const Case cases[] = {
        {"build folder", {"bin/vantrisk-shaderc"}, "bin/vantrisk-shaderc", false},
        {"installed tree",
         {"libexec/vantrisk/vantrisk-shaderc"},
         "bin/../libexec/vantrisk/vantrisk-shaderc",
         true},
        // A build folder that also holds an installed tree's folders stays a build folder.
        {"both",
         {"bin/vantrisk-shaderc", "libexec/vantrisk/vantrisk-shaderc"},
         "bin/vantrisk-shaderc",
         false},
        {"neither", {}, "", false},
    };
    for (const Case& test : cases) {
        TempFolder tree;
        fs::create_directories(tree.Path() / "bin");
        for (const char* executable : test.executables) WriteExecutable(tree, executable);
        const std::string program = (tree.Path() / "bin").string() + "/";
        const std::string expected = *test.expected ? (tree.Path() / test.expected).string() : "";
        EXPECT_EQ(Platform::FindCompilerProcess(program), expected) << test.name;
        EXPECT_EQ(Platform::IsInstalledTree(program), test.installed) << test.name;
    }
    // A file that cannot be run is no compiler, and an unknown folder has none.
    TempFolder tree;
    tree.Write("bin/vantrisk-shaderc", "");
    fs::permissions(tree.Path() / "bin/vantrisk-shaderc", fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(Platform::FindCompilerProcess((tree.Path() / "bin").string() + "/"), "");
    EXPECT_EQ(Platform::FindCompilerProcess(""), "");
}

TEST(ProgramFiles, ThisProgramsFolderIsTheBuildFolder) {
    const std::string folder = Platform::ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_TRUE(fs::equivalent(folder, VANTRISK_BUILD_DIR)) << folder;
    EXPECT_FALSE(Platform::IsInstalledTree(folder));
}

TEST(ProgramFiles, CacheGoesToXdgCacheHomeElseHomeElseNowhere) {
    TempFolder root;
    const std::string xdg = (root.Path() / "xdg").string(), home = (root.Path() / "home").string();
    // A plain file where a folder should be: nothing can be made below it, whoever runs the test.
    const std::string blocked = root.Write("blocked", "").string();
    struct Case {
        const char* name;
        const char* xdgCacheHome;
        const char* home;
        std::string expected;
    };
    const Case cases[] = {
        {"both set", xdg.c_str(), home.c_str(), xdg + "/vantrisk"},
        {"no XDG_CACHE_HOME", nullptr, home.c_str(), home + "/.cache/vantrisk"},
        {"empty XDG_CACHE_HOME", "", home.c_str(), home + "/.cache/vantrisk"},
        {"relative XDG_CACHE_HOME", "cache", home.c_str(), home + "/.cache/vantrisk"},
        {"XDG_CACHE_HOME cannot be written", blocked.c_str(), home.c_str(), home + "/.cache/vantrisk"},
        {"neither can be written", blocked.c_str(), blocked.c_str(), ""},
        {"neither set", nullptr, nullptr, ""},
        {"relative HOME", nullptr, "home", ""},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(Platform::UserCacheFolder(test.xdgCacheHome, test.home), test.expected) << test.name;
        if (!test.expected.empty()) {
            EXPECT_TRUE(fs::is_directory(test.expected)) << test.name;
        }
    }
}

}  // namespace
