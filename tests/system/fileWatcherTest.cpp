#include "system/fileWatcher.h"

#include <gtest/gtest.h>
#include <physfs.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/logCapture.h"
#include "support/tempFolder.h"
#include "support/zipArchive.h"

namespace {

using TestSupport::LogCapture;
using TestSupport::LogLine;
using TestSupport::MountedData;
using TestSupport::TempFolder;
using TestSupport::ZeroBomb;
using TestSupport::Zip;
using TestSupport::ZipEntry;

std::string Text(const FileData* data) {
    return std::string(data->data.get(), data->size);
}

// Writes a file and stamps it `milliseconds` into one whole second of the past, so that saves are
// told apart by the stamps the test gives them, not by how the host's coarse clock and the machine's
// load happen to space them: a save stamped anew always changed, and stamps within one second show
// that a watcher does not round to seconds.
std::filesystem::path SaveAt(const TempFolder& folder, const std::string& relative,
                             const std::string& contents, int milliseconds) {
    using FileTime = std::filesystem::file_time_type;
    static const FileTime second =
        std::chrono::floor<std::chrono::seconds>(FileTime::clock::now()) - std::chrono::hours(1);
    const auto path = folder.Write(relative, contents);
    std::filesystem::last_write_time(path, second + std::chrono::milliseconds(milliseconds));
    return path;
}

// Bytes this process has read through the kernel so far (-1 where the kernel does not count them).
long long BytesReadSoFar() {
    std::ifstream io("/proc/self/io");
    std::string field;
    long long value = 0;
    while (io >> field >> value) {
        if (field == "rchar:") return value;
    }
    return -1;
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
    SaveAt(folder, "demo.xml", "two!", 100);
    EXPECT_TRUE(watcher.GetHasChanged());
    EXPECT_FALSE(watcher.GetHasChanged());
    EXPECT_EQ(Text(watcher.GetData()), "two!");

    SaveAt(folder, "demo.xml", "three", 400);  // the same second as the save before
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
    SaveAt(folder, "a.fx", "2", 0);
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
    SaveAt(folder, name, "new", 0);
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
    SaveAt(folder, "script.xml", "loose", 100);
    EXPECT_TRUE(script.GetHasChanged());
    EXPECT_EQ(Text(script.GetData()), "loose");
    EXPECT_FALSE(archived.GetHasChanged());

    SaveAt(folder, "script.xml", "loose again", 200);
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
    SaveAt(folder, "fx/blur.fx", "22", 0);
    EXPECT_TRUE(watcher.GetHasChanged());
    EXPECT_EQ(Text(watcher.GetData()), "22");
}

TEST(FileWatcher, AnArchiveEntryInflatingBeyondTheReadBoundIsRefusedUnread) {
    const ZipEntry bomb = ZeroBomb("bomb.png", 600);
    ASSERT_LT(bomb.deflated.size(), 2u << 20) << "a small stored size";
    const ZipEntry small = ZeroBomb("small.bin", 1);
    TempFolder folder;
    folder.Write("demo.dat", Zip({bomb, small}));
    MountedData data(folder.Path());
    ASSERT_NE(PHYSFS_mount((folder.Path() / "demo.dat").c_str(), nullptr, 1), 0)
        << PHYSFS_getErrorByCode(PHYSFS_getLastErrorCode());

    LogCapture log;
    FileWatcher watcher("bomb.png");
    // Inflating would read the entry's stored stream from the archive; refusing reads next to nothing.
    const long long before = BytesReadSoFar();
    EXPECT_EQ(watcher.GetData()->size, 0);
    const long long refusedRead = BytesReadSoFar() - before;
    if (before >= 0) {
        EXPECT_LT(refusedRead, static_cast<long long>(bomb.deflated.size() / 4)) << "nothing inflated";
    }
    EXPECT_EQ(log.Lines(),
              (std::vector<LogLine>{{"FileWatcher::GetData",
                                     "File 'bomb.png' is 629145600 bytes, more than the 512 MiB one "
                                     "read may take"}}));
    // Below the bound an entry reads whole, and matches what went in.
    FileWatcher other("small.bin");
    const long long beforeSmall = BytesReadSoFar();
    const FileData* contents = other.GetData();
    if (beforeSmall >= 0) {
        EXPECT_GE(BytesReadSoFar() - beforeSmall, static_cast<long long>(small.deflated.size()))
            << "a read is counted";
    }
    ASSERT_EQ(contents->size, 1 << 20);
    EXPECT_EQ(std::string(contents->data.get(), contents->size), std::string(1 << 20, '\0'));
}

TEST(FileWatcher, FoldersAreNoFilesSoWritingIntoThemIsNoChange) {
    TempFolder folder;
    folder.Write("shaders/blur.fx", "1");
    MountedData data(folder.Path());
    FileWatcher root("");
    FileWatcher shaders("shaders");
    EXPECT_EQ(GetFileModificationTime(""), -1);
    EXPECT_EQ(GetFileModificationTime("shaders"), -1);
    folder.Write("ShaderCache/entry.bin", "x");
    folder.Write("shaders/new.fx", "2");
    // Stamped apart from their first stamps: a watcher that took folders for files would see this.
    for (const auto& changed : {folder.Path(), folder.Path() / "shaders"})
        std::filesystem::last_write_time(changed,
                                         std::filesystem::last_write_time(changed) - std::chrono::hours(1));
    EXPECT_FALSE(root.GetHasChanged());
    EXPECT_FALSE(shaders.GetHasChanged());
}

}  // namespace
