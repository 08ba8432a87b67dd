// Which show is mounted: the working directory's demo.dat and data/ when none is named; a named
// folder's own two; a named file as the archive; and a clear reason when there is nothing to mount.
#include "main/showLocation.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/tempFolder.h"

namespace {

namespace fs = std::filesystem;

TEST(ShowLocation, MountsOfEachKindOfShow) {
    TestSupport::TempFolder root;
    root.Write("packed/demo.dat", "");
    root.Write("loose/data/demo.xml", "");
    root.Write("both/demo.dat", "");
    root.Write("both/data/demo.xml", "");
    root.Write("flat/demo.xml", "");
    root.Write("mine.zip", "");
    fs::create_directories(root.Path() / "empty");
    const std::string at = root.Path().string() + "/";
    struct Case {
        std::string show;
        ShowMounts expected;
    };
    const Case cases[] = {
        {"", {"demo.dat", "data/", ""}},
        {at + "packed", {at + "packed/demo.dat", at + "packed/data/", ""}},
        {at + "loose", {at + "loose/demo.dat", at + "loose/data/", ""}},
        {at + "both", {at + "both/demo.dat", at + "both/data/", ""}},
        {at + "mine.zip", {at + "mine.zip", "", ""}},
        {at + "missing", {"", "", "'" + at + "missing' does not exist"}},
        {at + "empty", {"", "", "'" + at + "empty' holds neither demo.dat nor data/"}},
        {at + "flat",
         {"", "",
          "'" + at +
              "flat' holds neither demo.dat nor data/ (a show's loose files, demo.xml among them, go "
              "in its data/ folder)"}},
    };
    for (const Case& test : cases) {
        const ShowMounts mounts = MountsOf(test.show);
        EXPECT_EQ(mounts.archive, test.expected.archive) << test.show;
        EXPECT_EQ(mounts.folder, test.expected.folder) << test.show;
        EXPECT_EQ(mounts.problem, test.expected.problem) << test.show;
    }
}

TEST(ShowLocation, NamedShowIsLoggedByItsAbsolutePath) {
    EXPECT_EQ(ShowPath(), "");
    SetShow("shows/../shows/mine");
    EXPECT_EQ(GetShow(), "shows/../shows/mine");
    EXPECT_EQ(ShowPath(), (fs::current_path() / "shows/mine").string());
    SetShow("");
    EXPECT_EQ(ShowPath(), "");
}

}  // namespace
