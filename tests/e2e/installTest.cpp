// The program as people install it: the build folder installed into a temporary prefix, and the
// Debian package built from it and unpacked into a temporary root, each run from another working
// directory with a home of its own (so that the shader cache lands there): the version, a clean check
// of the bundled show and its still at 40 s, equal to the build folder's. Nothing is installed into
// the machine's own system. Also: the manual page names every option of --help.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "e2e/showFolder.h"
#include "support/gpuFixture.h"
#include "support/process.h"
#include "support/tempFolder.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using TestSupport::ReadHostFile;
using TestSupport::TempFolder;

// Every regular file below `root`, relative to it.
std::set<std::string> FilesBelow(const fs::path& root) {
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file()) files.insert(fs::relative(entry.path(), root).string());
    return files;
}

// Runs a command and fails the test with its output unless it exits 0.
::testing::AssertionResult Succeeds(const std::vector<std::string>& command, const fs::path& folder,
                                    std::string* output = nullptr) {
    std::string text;
    const int code = TestSupport::RunCommand(command, &text, folder, {}, 600s);
    if (output) *output = text;
    if (code == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << command[0] << " exited with " << code << ":\n" << text;
}

// The build folder's still of the bundled show at `seconds`, rendered as the program always has:
// from a working directory holding demo.dat.
TestSupport::Image BuildFolderStill(const TempFolder& scratch, double seconds) {
    const fs::path folder = scratch.Path() / "reference";
    fs::create_directories(folder);
    fs::create_symlink(fs::path(VANTRISK_BUILD_DIR) / "demo.dat", folder / "demo.dat");
    std::string output;
    EXPECT_EQ(TestSupport::RunCommand({VANTRISK_BINARY, "--frame", std::to_string(seconds), "still.png"},
                                      &output, folder, {"SDL_AUDIODRIVER=dummy"}, 600s),
              0)
        << output;
    return TestSupport::ReadPicture(folder / "still.png");
}

// The three commands a new user runs, from an empty working folder with a fresh home: the installed
// program under `root` (a prefix) must give the version, a clean check and the build folder's still.
void RunInstalledProgram(const fs::path& root, const TempFolder& scratch, const std::string& name) {
    const fs::path work = scratch.Path() / (name + "-work"), home = scratch.Path() / (name + "-home");
    fs::create_directories(work);
    fs::create_directories(home);
    const std::string program = (root / "bin" / "vantrisk").string();
    const std::string demo = (root / "share" / "vantrisk" / "demo").string();
    // The user's cache folder is the usual one below that home, whatever the machine's is.
    const std::vector<std::string> environment{
        "HOME=" + home.string(), "XDG_CACHE_HOME=" + (home / ".cache").string(), "SDL_AUDIODRIVER=dummy"};
    auto run = [&](const std::vector<std::string>& arguments, std::string& output) {
        std::vector<std::string> command{program};
        command.insert(command.end(), arguments.begin(), arguments.end());
        return TestSupport::RunCommand(command, &output, work, environment, 600s);
    };

    std::string version, built, check, frame;
    EXPECT_EQ(run({"--version"}, version), 0) << version;
    TestSupport::RunCommand({VANTRISK_BINARY, "--version"}, &built);
    EXPECT_EQ(version, built);
    EXPECT_TRUE(std::regex_search(version, std::regex(R"(^vantrisk [0-9]+\.[0-9]+\.[0-9]+)"))) << version;

    EXPECT_EQ(run({"--check", demo, "--quiet"}, check), 0) << check;
    EXPECT_NE(check.find("demo.xml: OK, no problems"), std::string::npos) << check;

    ASSERT_EQ(run({demo, "--frame", "40", "x.png"}, frame), 0) << frame;
    EXPECT_TRUE(TestSupport::ImagesNear(TestSupport::ReadPicture(work / "x.png"),
                                        BuildFolderStill(scratch, 40), 2, 0.001,
                                        "installed-" + name + "-still"));

    // The cache went to the user's cache folder, never into the tree or the working folder.
    const fs::path cache = home / ".cache" / "vantrisk" / "ShaderCache";
    EXPECT_TRUE(fs::is_directory(cache) && !fs::is_empty(cache)) << cache;
    EXPECT_FALSE(fs::exists(work / "ShaderCache"));
    for (const std::string& file : FilesBelow(root))
        EXPECT_EQ(file.find("ShaderCache"), std::string::npos) << file;
    EXPECT_TRUE(fs::exists(work / "Vantrisk.log"));
}

// What the tree holds under its prefix, and nothing more.
const std::set<std::string> kTree = {
    "bin/vantrisk",
    "libexec/vantrisk/vantrisk-shaderc",
    "share/vantrisk/demo/demo.dat",
    "share/man/man1/vantrisk.1.gz",
    "share/applications/vantrisk.desktop",
    "share/icons/hicolor/48x48/apps/vantrisk.png",
    "share/icons/hicolor/256x256/apps/vantrisk.png",
    "share/doc/vantrisk/copyright",
    "share/doc/vantrisk/changelog.gz",
};

std::string DesktopExec(const fs::path& entry) {
    std::smatch match;
    const std::string text = ReadHostFile(entry);
    return std::regex_search(text, match, std::regex("\nExec=([^\n]*)")) ? match[1].str() : "";
}

TEST(Install, TreeInATemporaryPrefixRunsFromAnywhere) {
    TempFolder scratch;
    const fs::path prefix = scratch.Path() / "prefix";
    ASSERT_TRUE(
        Succeeds({"cmake", "--install", VANTRISK_BUILD_DIR, "--prefix", prefix.string()}, scratch.Path()));
    EXPECT_EQ(FilesBelow(prefix), kTree);
    EXPECT_EQ(DesktopExec(prefix / "share/applications/vantrisk.desktop"),
              (prefix / "bin/vantrisk").string() + " " + (prefix / "share/vantrisk/demo").string());
    RunInstalledProgram(prefix, scratch, "prefix");

    // With no cache folder that can be written the show still renders, and the log says so once.
    const fs::path blocked = scratch.Write("blocked", ""), work = scratch.Path() / "uncached";
    fs::create_directories(work);
    std::string output;
    EXPECT_EQ(TestSupport::RunCommand(
                  {(prefix / "bin/vantrisk").string(), (prefix / "share/vantrisk/demo").string(), "--frame",
                   "1", "y.png"},
                  &output, work,
                  {"HOME=" + blocked.string(), "XDG_CACHE_HOME=" + blocked.string(), "SDL_AUDIODRIVER=dummy"},
                  600s),
              0)
        << output;
    EXPECT_TRUE(fs::exists(work / "y.png"));
    const auto texts = TestSupport::LogTexts(ReadHostFile(work / "Vantrisk.log"));
    EXPECT_EQ(
        std::count(texts.begin(), texts.end(),
                   "Neither $XDG_CACHE_HOME nor ~/.cache can be written; shaders compile without a cache"),
        1)
        << ReadHostFile(work / "Vantrisk.log");
}

TEST(Install, ManualPageNamesEveryOptionOfHelp) {
    std::string help, page;
    ASSERT_EQ(TestSupport::RunCommand({VANTRISK_BINARY, "--help"}, &help), 0);
    const fs::path compressed = fs::path(VANTRISK_BUILD_DIR) / "vantrisk.1.gz";
    ASSERT_TRUE(fs::exists(compressed)) << "No manual page: help2man is missing (scripts/install-deps)";
    ASSERT_TRUE(Succeeds({"gzip", "-dc", compressed.string()}, ".", &page));
    // The page's text without roff's font changes and escaped hyphens.
    page = std::regex_replace(page, std::regex(R"(\\f[BIRP])"), "");
    page = std::regex_replace(page, std::regex(R"(\\-)"), "-");

    std::set<std::string> options;
    const std::regex option(R"((^|[\s\[|(,])(--?[a-z][a-z0-9-]*))");
    for (auto it = std::sregex_iterator(help.begin(), help.end(), option); it != std::sregex_iterator(); ++it)
        options.insert((*it)[2].str());
    for (const char* expected : {"-transport", "--capture", "--frame", "--check", "--version"})
        EXPECT_TRUE(options.count(expected)) << expected << " is not in --help:\n" << help;
    for (const std::string& name : options) {
        const std::regex word("(^|[^a-z-])" + name + "($|[^a-z0-9-])");
        EXPECT_TRUE(std::regex_search(page, word)) << name << " is missing from the manual page";
    }
    EXPECT_NE(page.find("SHOW"), std::string::npos);
    EXPECT_NE(page.find(".SH FILES"), std::string::npos);
}

TEST(Package, DebUnpackedAnywhereRunsAndLintianFindsNoError) {
    TempFolder scratch;
    const fs::path out = scratch.Path() / "package";
    // The package goes to a folder of its own, so that nothing in the build folder is rewritten.
    std::string packed;
    ASSERT_TRUE(Succeeds({"cpack", "-G", "DEB", "--config",
                          std::string(VANTRISK_BUILD_DIR) + "/CPackConfig.cmake", "-B", out.string()},
                         scratch.Path(), &packed));
    std::string architecture;
    ASSERT_TRUE(Succeeds({"dpkg", "--print-architecture"}, ".", &architecture));
    std::string version;
    TestSupport::RunCommand({VANTRISK_BINARY, "--version"}, &version);
    std::smatch number;
    ASSERT_TRUE(std::regex_search(version, number, std::regex(R"([0-9]+\.[0-9]+\.[0-9]+)")));
    const fs::path deb =
        out / ("vantrisk_" + number.str() + "_" + architecture.substr(0, architecture.find('\n')) + ".deb");
    ASSERT_TRUE(fs::exists(deb)) << packed;

    // Dependencies come from the binaries (the window and sound library among them) plus ffmpeg.
    std::string depends;
    ASSERT_TRUE(Succeeds({"dpkg-deb", "-f", deb.string(), "Depends"}, ".", &depends));
    EXPECT_NE(depends.find("libsdl2-2.0-0"), std::string::npos) << depends;
    EXPECT_NE(depends.find("libphysfs"), std::string::npos) << depends;
    EXPECT_NE(depends.find("ffmpeg"), std::string::npos) << depends;

    const fs::path root = scratch.Path() / "root";
    ASSERT_TRUE(Succeeds({"dpkg-deb", "-x", deb.string(), root.string()}, "."));
    std::set<std::string> expected;
    for (const std::string& file : kTree) expected.insert("usr/" + file);
    EXPECT_EQ(FilesBelow(root), expected);
    EXPECT_EQ(DesktopExec(root / "usr/share/applications/vantrisk.desktop"),
              "/usr/bin/vantrisk /usr/share/vantrisk/demo");
    RunInstalledProgram(root / "usr", scratch, "deb");

    ASSERT_TRUE(Succeeds({"lintian", "--version"}, ".")) << "lintian is missing (scripts/install-deps)";
    std::string lint;
    TestSupport::RunCommand({"lintian", "--tag-display-limit", "0", deb.string()}, &lint, ".", {}, 600s);
    EXPECT_EQ(lint.find("E: "), std::string::npos) << lint;
}

}  // namespace
