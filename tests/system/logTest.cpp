#include "system/log.h"

#include <gtest/gtest.h>
#include <physfs.h>

#include <regex>
#include <string>
#include <vector>

#include "support/tempFolder.h"

namespace {

using TestSupport::MountedData;
using TestSupport::ReadHostFile;
using TestSupport::SplitLines;
using TestSupport::TempFolder;

std::string CaptureLog(const char* file, int line, const char* function, const char* message) {
    testing::internal::CaptureStderr();
    SetTraceLocation(file, line, function);
    Log("%s", message);
    return testing::internal::GetCapturedStderr();
}

const std::regex kStamp(R"(\[\d{8}T\d{6}\.\d{3}Z\])");

TEST(Log, SplitsMessageIntoNonEmptyLinesSharingStampAndPrefix) {
    TempFolder folder;
    MountedData data(folder.Path());
    const auto lines = SplitLines(CaptureLog("f.cpp", 7, "Fn", "a\n\nb\n"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(0, 65), lines[1].substr(0, 65));
    EXPECT_TRUE(std::regex_match(lines[0].substr(0, 22), kStamp)) << lines[0];
    EXPECT_EQ(lines[0].substr(22), "[" + std::string(30, ' ') + "f.cpp@7 Fn] a");
    EXPECT_EQ(lines[1].substr(22), "[" + std::string(30, ' ') + "f.cpp@7 Fn] b");
    EXPECT_EQ(ReadHostFile(folder.Path() / "Vantrisk.log"), lines[0] + "\n" + lines[1] + "\n");
}

TEST(Log, EmptyAndNewlineOnlyMessagesWriteNothing) {
    TempFolder folder;
    MountedData data(folder.Path());
    EXPECT_EQ(CaptureLog("f.cpp", 1, "F", ""), "");
    EXPECT_EQ(CaptureLog("f.cpp", 1, "F", "\n\n\n"), "");
    EXPECT_EQ(ReadHostFile(folder.Path() / "Vantrisk.log"), "");
}

TEST(Log, ShortLocationIsRightAlignedInFortyCharacters) {
    TempFolder folder;
    MountedData data(folder.Path());
    // "ab.c@1 fg": nine characters.
    const std::string line = CaptureLog("ab.c", 1, "fg", "x");
    EXPECT_EQ(line.substr(22), "[" + std::string(31, ' ') + "ab.c@1 fg] x\n");
    EXPECT_EQ(line.size(), 22u + 43u + 2u);
}

TEST(Log, LongLocationKeepsItsLastFortyCharacters) {
    TempFolder folder;
    MountedData data(folder.Path());
    const std::string file = "/home/build/vantrisk/source/effects/abcdefgh.cpp";  // 48 characters
    const std::string location = file + "@1234 Run";                              // 57 characters
    const std::string line = CaptureLog(file.c_str(), 1234, "Run", "hello");
    EXPECT_EQ(line.substr(22), "[" + location.substr(location.size() - 40) + "] hello\n");
}

TEST(Log, SixtyCharacterLocationShowsLineAndFunction) {
    TempFolder folder;
    MountedData data(folder.Path());
    const std::string file(45, 'p');
    const std::string function = "Effects::Fn";  // 45 + "@12 " + 11 = 60
    const std::string location = file + "@12 " + function;
    ASSERT_EQ(location.size(), 60u);
    const std::string line = CaptureLog(file.c_str(), 12, function.c_str(), "m");
    EXPECT_EQ(line.substr(22, 43), "[" + location.substr(20) + "] ");
}

TEST(Log, LongMessageIsCutAt1024Characters) {
    TempFolder folder;
    MountedData data(folder.Path());
    const std::string message(3000, 'm');
    const std::string line = CaptureLog("f", 1, "F", message.c_str());
    EXPECT_EQ(line.size(), 22u + 43u + 1024u + 1u);
}

TEST(Log, UnwritableFolderStillReachesStandardError) {
    TempFolder folder;
    const auto readOnly = folder.Path() / "locked";
    std::filesystem::create_directories(readOnly);
    MountedData data(folder.Path(), false);
    PHYSFS_setWriteDir(nullptr);
    const std::string first = CaptureLog("f", 1, "F", "first");
    const std::string second = CaptureLog("f", 2, "F", "second");
    EXPECT_NE(first.find("] first\n"), std::string::npos);
    EXPECT_NE(second.find("] second\n"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "Vantrisk.log"));
}

TEST(Log, SecondRunTruncatesTheFirstLog) {
    TempFolder folder;
    {
        MountedData data(folder.Path());
        CaptureLog("f", 1, "F", "from the first run");
    }
    {
        MountedData data(folder.Path());
        CaptureLog("f", 1, "F", "from the second run");
    }
    const std::string log = ReadHostFile(folder.Path() / "Vantrisk.log");
    EXPECT_EQ(log.find("first"), std::string::npos);
    EXPECT_NE(log.find("] from the second run\n"), std::string::npos);
}

TEST(Log, MacroRecordsFileLineAndGivenFunctionName) {
    TempFolder folder;
    MountedData data(folder.Path());
    testing::internal::CaptureStderr();
    const int line = __LINE__ + 1;
    VLOG("Effects::EffectsManager::Load", "value %d", 42);
    const std::string out = testing::internal::GetCapturedStderr();
    EXPECT_NE(out.find("@" + std::to_string(line) + " Effects::EffectsManager::Load] value 42\n"),
              std::string::npos)
        << out;
}

// Readers of the recent messages get them whole (before the split into lines), with their call sites,
// oldest first, and only the last kLogRecentMessages of them.
TEST(Log, RecentMessagesAreHandedWholeInOrderAndOnlyTheLatestAreKept) {
    TempFolder folder;
    MountedData data(folder.Path());
    const uint64_t before = ReadRecentLogMessages(UINT64_MAX, [](const LogMessage&) {});
    CaptureLog("shader.cpp", 71, "Shader::LoadPS", "Pixel shader 'PS' compile error:\nbroken.fx:1: bad");
    CaptureLog("f.cpp", 2, "F", "second");
    std::vector<std::string> seen;
    const uint64_t last = ReadRecentLogMessages(before, [&](const LogMessage& message) {
        seen.push_back(std::string(message.file) + "@" + std::to_string(message.line) + " " +
                       message.function + ": " + message.text);
        EXPECT_EQ(message.sequence, before + seen.size());
    });
    EXPECT_EQ(last, before + 2);
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "shader.cpp@71 Shader::LoadPS: Pixel shader 'PS' compile error:\nbroken.fx:1: bad",
                        "f.cpp@2 F: second"}));

    for (int i = 0; i < kLogRecentMessages + 10; ++i) CaptureLog("f.cpp", 3, "F", std::to_string(i).c_str());
    seen.clear();
    ReadRecentLogMessages(0, [&](const LogMessage& message) { seen.push_back(message.text); });
    ASSERT_EQ(seen.size(), size_t(kLogRecentMessages));
    EXPECT_EQ(seen.front(), "10");
    EXPECT_EQ(seen.back(), std::to_string(kLogRecentMessages + 9));

    // The file holds exactly the lines written, as before there were readers.
    const std::string log = ReadHostFile(folder.Path() / "Vantrisk.log");
    EXPECT_NE(log.find("Shader::LoadPS] Pixel shader 'PS' compile error:\n"), std::string::npos);
    EXPECT_NE(log.find("Shader::LoadPS] broken.fx:1: bad\n"), std::string::npos);
}

}  // namespace
