#include "system/fileWatcher.h"

#include <gtest/gtest.h>
#include <physfs.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "support/logCapture.h"
#include "support/tempFolder.h"

namespace {

using TestSupport::LogCapture;
using TestSupport::LogLine;
using TestSupport::MountedData;
using TestSupport::TempFolder;

std::string Text(const FileData* data) {
    return std::string(data->data.get(), data->size);
}

// Host file systems stamp modifications with a coarse clock (a few milliseconds); saves further
// apart than that must be told apart although they fall within one second.
void PauseBetweenSaves() {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
}

TEST(FileWatcher, ReportsNoChangeOnFirstQuestionAndServesContentsWithoutTerminator) {
    TempFolder folder;
    folder.Write("shader.fx", "abc");
    MountedData data(folder.Path());
    FileWatcher watcher("shader.fx");
    LogCapture log;
    EXPECT_FALSE(watcher.GetHasChanged());
    const FileData* contents = watcher.GetData();
    ASSERT_EQ(contents->size, 3);
    EXPECT_EQ(Text(contents), "abc");
    EXPECT_EQ(watcher.GetData(), contents);  // served from memory
    EXPECT_EQ(watcher.GetFileName(), "shader.fx");
    EXPECT_TRUE(log.Lines().empty());
}

TEST(FileWatcher, ReportsEachSaveOnceAlsoWithinOneSecond) {
    TempFolder folder;
    folder.Write("demo.xml", "one");
    MountedData data(folder.Path());
    FileWatcher watcher("demo.xml");
    EXPECT_EQ(Text(watcher.GetData()), "one");

    LogCapture log;
    PauseBetweenSaves();
    folder.Write("demo.xml", "two!");
    EXPECT_TRUE(watcher.GetHasChanged());
    EXPECT_FALSE(watcher.GetHasChanged());
    EXPECT_EQ(Text(watcher.GetData()), "two!");

    const auto before = std::chrono::steady_clock::now();
    PauseBetweenSaves();
    folder.Write("demo.xml", "three");
    ASSERT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
    EXPECT_TRUE(watcher.GetHasChanged());
    EXPECT_FALSE(watcher.GetHasChanged());
    EXPECT_EQ(Text(watcher.GetData()), "three");

    const LogLine changed{"FileWatcher::GetHasChanged",
                          "FileWatcher has noticed that 'demo.xml' has changed"};
    EXPECT_EQ(log.Lines(), (std::vector<LogLine>{changed, changed}));
}

TEST(FileWatcher, DeletionAndRestorationAreOneChangeEachWithOneFailureMessage) {
    TempFolder folder;
    const auto path = folder.Write("image.png", "png");
    MountedData data(folder.Path());
    FileWatcher watcher("image.png");
    LogCapture log;

    std::filesystem::remove(path);
    EXPECT_TRUE(watcher.GetHasChanged());
    EXPECT_FALSE(watcher.GetHasChanged());
    EXPECT_EQ(watcher.GetData()->size, 0);
    EXPECT_EQ(watcher.GetData()->size, 0);  // the failure is logged once, not on every call

    folder.Write("image.png", "back");
    EXPECT_TRUE(watcher.GetHasChanged());
    EXPECT_EQ(Text(watcher.GetData()), "back");

    EXPECT_EQ(log.Texts(),
              (std::vector<std::string>{"FileWatcher has noticed that 'image.png' has changed",
                                        "File 'image.png' could not be opened",
                                        "FileWatcher has noticed that 'image.png' has changed"}));
    EXPECT_EQ(log.Lines()[1].function, "FileWatcher::GetData");
}

TEST(FileWatcher, MissingFileLogsOncePerChange) {
    TempFolder folder;
    MountedData data(folder.Path());
    FileWatcher watcher("missing.cube");
    LogCapture log;
    EXPECT_FALSE(watcher.GetHasChanged());
    EXPECT_EQ(watcher.GetData()->size, 0);
    EXPECT_EQ(watcher.GetData()->size, 0);
    EXPECT_EQ(log.Texts(), std::vector<std::string>{"File 'missing.cube' could not be opened"});
}

TEST(FileWatcher, SeparateWatchersOfOneFileEachNoticeTheChange) {
    TempFolder folder;
    folder.Write("a.fx", "1");
    MountedData data(folder.Path());
    FileWatcher first("a.fx");
    FileWatcher second("a.fx");
    PauseBetweenSaves();
    folder.Write("a.fx", "2");
    LogCapture log;
    EXPECT_TRUE(first.GetHasChanged());
    EXPECT_TRUE(second.GetHasChanged());
    EXPECT_FALSE(first.GetHasChanged());
}

TEST(HasFileChanged, RegistersOnFirstCallAndReportsEachChangeOnce) {
    TempFolder folder;
    folder.Write("music.ogg", "old");
    MountedData data(folder.Path());
    // The registry lives for the whole process: a name of its own keeps this test independent.
    const std::string name = "music-" + folder.Path().filename().string() + ".ogg";
    folder.Write(name, "old");
    LogCapture log;
    EXPECT_FALSE(HasFileChanged(name));
    EXPECT_FALSE(HasFileChanged(name));
    PauseBetweenSaves();
    folder.Write(name, "new");
    EXPECT_TRUE(HasFileChanged(name));
    EXPECT_FALSE(HasFileChanged(name));
    EXPECT_EQ(log.Lines(), (std::vector<LogLine>{{"HasFileChanged", "Filewatcher has noticed that '" + name +
                                                                        "' has changed"}}));
}

TEST(HasFileChanged, FirstCallForAMissingNameRegistersIt) {
    TempFolder folder;
    MountedData data(folder.Path());
    const std::string name = "late-" + folder.Path().filename().string() + ".ogg";
    EXPECT_FALSE(HasFileChanged(name));
    folder.Write(name, "now");
    LogCapture log;
    EXPECT_TRUE(HasFileChanged(name));
    EXPECT_FALSE(HasFileChanged(name));
}

// The show reads "demo.dat" and "data/" as one tree; a loose file overrides the archive's copy.
TEST(FileWatcher, LooseFileOverridesTheArchiveAndItsArrivalIsAChange) {
    TempFolder archiveFolder;
    archiveFolder.Write("pack/script.xml", "from archive");
    archiveFolder.Write("pack/only.txt", "archived");
    const auto archive = archiveFolder.Path() / "demo.dat";
    const std::string command = "cd '" + (archiveFolder.Path() / "pack").string() + "' && zip -q -X '" +
                                archive.string() + "' script.xml only.txt";
    ASSERT_EQ(std::system(command.c_str()), 0);

    TempFolder folder;
    MountedData data(folder.Path());
    ASSERT_NE(PHYSFS_mount(archive.c_str(), nullptr, 1), 0)
        << PHYSFS_getErrorByCode(PHYSFS_getLastErrorCode());

    FileWatcher archived("only.txt");
    FileWatcher script("script.xml");
    EXPECT_EQ(Text(archived.GetData()), "archived");
    EXPECT_EQ(Text(script.GetData()), "from archive");
    EXPECT_GT(GetFileModificationTime("only.txt"), 0);

    LogCapture log;
    folder.Write("script.xml", "loose");
    EXPECT_TRUE(script.GetHasChanged());
    EXPECT_EQ(Text(script.GetData()), "loose");
    EXPECT_FALSE(archived.GetHasChanged());

    PauseBetweenSaves();
    folder.Write("script.xml", "loose again");
    EXPECT_TRUE(script.GetHasChanged());
    EXPECT_EQ(Text(script.GetData()), "loose again");
}

TEST(FileWatcher, FolderMountedBelowAMountPointResolvesToTheHostFile) {
    TempFolder folder;
    folder.Write("fx/blur.fx", "1");
    MountedData data(folder.Path());
    ASSERT_NE(PHYSFS_mount((folder.Path() / "fx").c_str(), "shaders", 0), 0);
    FileWatcher watcher("shaders/blur.fx");
    EXPECT_EQ(Text(watcher.GetData()), "1");
    LogCapture log;
    PauseBetweenSaves();
    folder.Write("fx/blur.fx", "22");
    EXPECT_TRUE(watcher.GetHasChanged());
    EXPECT_EQ(Text(watcher.GetData()), "22");
}

}  // namespace
