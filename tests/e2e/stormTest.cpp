// A hot-reload storm: the built program captures a show of shaders with includes, pictures and a
// look-up table while another thread keeps rewriting those files with damage of every kind (cut
// short, random bytes, broken XML, shaders that fail, hang, flood or crash the compiler, broken PNG
// chunks, absurd table sizes, deletions), then puts them all back. The capture must end normally,
// with bounded memory, and its last frames must be those of a clean capture of the same times.
//
// Bounded by the clock: the storm lasts about half a minute whatever the speed of the build (the
// sanitizer build runs it too), and the capture is sized from a clean run so that it ends soon after.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "e2e/showFolder.h"
#include "support/gpuFixture.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using TestSupport::ShowFolder;

constexpr int kFps = 32;              // frame times are whole multiples of 1/32 s: exact in binary
constexpr double kEnd = 90.0;         // music time of the end of every capture
constexpr int kCompared = 32;         // last frames compared with the clean capture
constexpr double kStormSeconds = 25;  // how long the storm lasts
constexpr double kCalmSeconds = 10;   // how long the capture runs on after the files are back
constexpr long long kMemoryBound = 2LL << 30;

// The show: a plasma and a tunnel through the shared header, graded by a post pass with a palette
// picture, a look-up table and a blur, in one scene as long as any capture.
std::string Script() {
    return ShowFolder::Script("bpm=\"120\"", R"(
  <effect type="CLS" start="0" length="1000">
    <effect type="FullScreenShader">
      <param key="shader" type="string" value="plasma.fx"/>
      <param key="pixelShader" type="string" value="PS_Plasma"/>
      <param key="image" type="string" value=""/>
      <param key="float1" type="double" value="1"/>
      <param key="float2" type="double" value="0.5"/>
      <param key="float4" type="double" value="1.2"/>
      <param key="float5" type="double"><key time="0" value="0"/><key time="200" value="3"/></param>
    </effect>
    <effect type="FullScreenShaderEffect">
      <param key="shader" type="string" value="post.fx"/>
      <param key="pixelShader" type="string" value="PS_Grade"/>
      <param key="image" type="string" value="palette.png"/>
    </effect>
    <effect type="Lut3D">
      <param key="lutName" type="string" value="grade.cube"/>
      <param key="strength" type="double" value="0.6"/>
    </effect>
    <effect type="Blur">
      <param key="strength" type="double" value="1.5"/>
    </effect>
  </effect>
  <effect type="CLS" start="0" length="1000" speed="0.5">
    <param key="colour" type="vec4" x="0" y="0" z="0" w="0"/>
    <effect type="FullScreenShader">
      <param key="shader" type="string" value="tunnel.fx"/>
      <param key="pixelShader" type="string" value="PS_Tunnel"/>
      <param key="image" type="string" value="tunnel.png"/>
      <param key="float1" type="double" value="0.5"/>
    </effect>
  </effect>
)");
}

std::string DemoFile(const std::string& name) {
    return TestSupport::ReadHostFile(fs::path(VANTRISK_SOURCE_DIR) / "data" / name);
}

// Every file of the show but the music.
std::map<std::string, std::string> ShowFiles() {
    std::map<std::string, std::string> files;
    for (const char* name : {"final.fx", "plasma.fx", "post.fx", "tunnel.fx", "quad.fxh", "blur.fx",
                             "lut3D.fx", "palette.png", "tunnel.png", "grade.cube"})
        files[name] = DemoFile(name);
    files["demo.xml"] = Script();
    return files;
}

// ---------------------------------------------------------------------------------------------------
// The damage

std::string RandomBytes(std::mt19937& rng, size_t size) {
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    return bytes;
}

// A PNG whose chunk at `chunk` (by type) has one byte changed, so its checksum no longer holds.
std::string DamagedChunk(std::string png, const char* chunk, std::mt19937& rng) {
    const size_t at = png.find(chunk);
    if (at == std::string::npos || at + 8 >= png.size()) return png.substr(0, png.size() / 2);
    png[at + 4 + rng() % std::min<size_t>(8, png.size() - at - 4)] ^= 0x5A;
    return png;
}

std::string HugeHeader(std::string png) {
    if (png.size() > 24) png.replace(16, 8, std::string("\0\0\x40\0\0\0\x40\0", 8));  // 16384 by 16384
    return png;
}

using Damage = std::function<std::string(const std::string& original, std::mt19937& rng)>;

// What may happen to each kind of file; every file may also be cut short, replaced by noise or
// deleted (an empty optional, see Storm).
std::vector<Damage> DamageFor(const std::string& name) {
    std::vector<Damage> damage = {
        [](const std::string& o, std::mt19937& rng) { return o.substr(0, rng() % (o.size() + 1)); },
        [](const std::string&, std::mt19937& rng) { return RandomBytes(rng, rng() % 4096); },
    };
    const std::string extension = fs::path(name).extension().string();
    if (extension == ".fx" || extension == ".fxh") {
        damage.push_back([](const std::string& o, std::mt19937&) { return o + "\nfloat4 broken( {\n"; });
        damage.push_back(
            [](const std::string& o, std::mt19937&) { return "static const float a[100000000];\n" + o; });
        damage.push_back([](const std::string&, std::mt19937& rng) { return RandomBytes(rng, 10'000'000); });
    }
    // An entry point with an unnamed parameter crashes the compiler's front end.
    if (name == "plasma.fx" || name == "post.fx") {
        const std::string entry = name == "plasma.fx" ? "PS_Plasma" : "PS_Grade";
        damage.push_back([entry](const std::string&, std::mt19937&) {
            return "#include \"quad.fxh\"\nfloat4 " + entry +
                   "(int) : SV_Target { return float4(1, 0, 0, 1); }\n";
        });
    }
    if (name == "quad.fxh") {
        damage.push_back([](const std::string& o, std::mt19937&) {
            return "#include \"quad.fxh\"\n#include \"quad.fxh\"\n" + o;
        });
    }
    if (extension == ".png") {
        damage.push_back(
            [](const std::string& o, std::mt19937& rng) { return DamagedChunk(o, "IDAT", rng); });
        damage.push_back(
            [](const std::string& o, std::mt19937& rng) { return DamagedChunk(o, "IHDR", rng); });
        damage.push_back([](const std::string& o, std::mt19937&) { return HugeHeader(o); });
    }
    if (extension == ".cube") {
        damage.push_back([](const std::string&, std::mt19937&) { return "LUT_3D_SIZE 100000\n0 0 0\n"; });
        damage.push_back([](const std::string&, std::mt19937&) { return "LUT_3D_SIZE 256\n0 0 0\n1 1\n"; });
        damage.push_back([](const std::string& o, std::mt19937&) {
            std::string text = o;
            const size_t at = text.find("\n0.", text.size() / 2);
            if (at != std::string::npos) text.insert(at + 1, "# a comment among the rows\n");
            return text;
        });
    }
    if (extension == ".xml") {
        damage.push_back(
            [](const std::string& o, std::mt19937&) { return o.substr(0, o.find("</effect>") + 4); });
        damage.push_back(
            [](const std::string& o, std::mt19937&) { return "<demo bpm=\"120\"><effect " + o; });
        damage.push_back([](const std::string& o, std::mt19937&) {
            std::string text = o;
            const size_t at = text.find("value=\"1.5\"");
            if (at != std::string::npos) text.replace(at, 11, "value=\"1e308\"");
            return text;
        });
    }
    return damage;
}

// Writes a file either in place (a reader may catch it half written) or whole under another name
// and renamed over it.
void Save(const fs::path& path, const std::string& contents, bool inPlace) {
    const fs::path target = inPlace ? path : fs::path(path.string() + ".new");
    {
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    }
    if (!inPlace) fs::rename(target, path);
}

// ---------------------------------------------------------------------------------------------------
// Watching the capture

// The highest frame number written so far in `folder` ("frame%05d.png"), or -1.
int LastFrame(const fs::path& folder) {
    int last = -1;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() == 14 && name.rfind("frame", 0) == 0)
            last = std::max(last, std::atoi(name.c_str() + 5));
    }
    return last;
}

// Frames before `keepFrom` are not needed: removed so that a long capture leaves little on disk.
void DropFramesBefore(const fs::path& folder, int keepFrom, int& dropped) {
    for (; dropped < keepFrom; ++dropped) {
        char name[32];
        std::snprintf(name, sizeof name, "frame%05d.png", dropped);
        std::error_code error;
        fs::remove(folder / name, error);
    }
}

long long ResidentBytes(int pid, const char* field = "VmRSS:") {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) return std::stoll(line.substr(std::string(field).size())) * 1024;
    }
    return 0;
}

std::vector<std::string> CaptureCommand(int frames) {
    // Whole multiples of 1/32 keep every frame time exact, so both captures meet on the same times.
    const double from = kEnd - static_cast<double>(frames) / kFps;
    return {VANTRISK_BINARY,
            "--capture",
            "frames",
            "--fps",
            std::to_string(kFps),
            "--from",
            std::to_string(from),
            "--to",
            std::to_string(kEnd)};
}

size_t Count(const std::vector<std::string>& texts, const std::string& part) {
    return static_cast<size_t>(std::count_if(
        texts.begin(), texts.end(), [&](const std::string& t) { return t.find(part) != std::string::npos; }));
}

TEST(Storm, TheShowSurvivesEveryDamageToItsFilesAndEndsAsAfterAcleanStart) {
    const auto files = ShowFiles();
    ShowFolder clean;
    for (const auto& [name, contents] : files) clean.WriteData(name, contents);

    // The clean capture of the compared frames, timed from its first frame for the rate of this build
    // and machine.
    const fs::path cleanFrames = clean.Path() / "frames";
    double cleanRate = 0;
    {
        TestSupport::Process reference(CaptureCommand(kCompared), clean.Path(), {"SDL_AUDIODRIVER=dummy"});
        ASSERT_TRUE(TestSupport::WaitUntil(
            [&] { return LastFrame(cleanFrames) >= 0 || !reference.Running(); }, 600s));
        const auto first = Clock::now();
        TestSupport::WaitUntil(
            [&] { return LastFrame(cleanFrames) >= kCompared - 1 || !reference.Running(); }, 600s);
        const double seconds = std::chrono::duration<double>(Clock::now() - first).count();
        const auto exitCode = reference.Wait(600s);
        ASSERT_EQ(exitCode, std::optional<int>(0)) << reference.Output();
        cleanRate = (kCompared - 1) / std::max(seconds, 0.01);
    }
    // A damaged show often draws next to nothing and runs far faster than a sound one; the capture
    // is held to the clean pace (paused while ahead of it), so that the storm lasts its time and the
    // capture still has its calm stretch after it.
    const int frames =
        std::clamp(static_cast<int>(cleanRate * (kStormSeconds + kCalmSeconds)), 4 * kCompared, 4000);
    const int stormUntil = std::max(kCompared, frames - static_cast<int>(cleanRate * kCalmSeconds));
    // std::to_string keeps six decimals: the start must be a multiple of 1/32 that survives that.
    ASSERT_EQ(std::stod(std::to_string(kEnd - double(frames) / kFps)), kEnd - double(frames) / kFps);

    ShowFolder show;
    for (const auto& [name, contents] : files) show.WriteData(name, contents);
    // The log of a failed storm is the only account of what went wrong: kept in the folder the test
    // runs in (also on request, to compare with a run that passed).
    struct KeepLogOnFailure {
        const ShowFolder& show;
        ~KeepLogOnFailure() {
            if (!::testing::Test::HasFailure() && !std::getenv("VANTRISK_KEEP_STORM_LOG")) return;
            std::ofstream(fs::current_path() / "storm-Vantrisk.log", std::ios::binary) << show.Log();
            std::error_code error;
            fs::remove_all(fs::current_path() / "storm-data", error);
            fs::copy(show.Path() / "data", fs::current_path() / "storm-data", fs::copy_options::recursive,
                     error);
        }
    } keepLog{show};
    const fs::path data = show.Path() / "data";
    const fs::path frameFolder = show.Path() / "frames";
    TestSupport::Process capture(CaptureCommand(frames), show.Path(), {"SDL_AUDIODRIVER=dummy"});
    ASSERT_GT(capture.Pid(), 0);

    // The storm, on this thread; the capture runs in its own process.
    std::mt19937 rng(20240601);
    // Every kind of damage to every file comes round in a shuffled order, again and again; -1 deletes.
    std::vector<std::pair<std::string, int>> schedule;
    for (const auto& entry : files) {
        for (int kind = -1; kind < static_cast<int>(DamageFor(entry.first).size()); ++kind)
            schedule.emplace_back(entry.first, kind);
    }
    size_t next = schedule.size();
    long long peakMemory = 0;
    int dropped = 0, writes = 0, deletions = 0;
    std::map<std::string, int> lastDamage;  // by file: the last damage done (-1: deleted)
    const auto stormStart = Clock::now();
    auto stormed = [&] { return std::chrono::duration<double>(Clock::now() - stormStart).count(); };
    // Holds the capture to `allowed` frames (stopped while ahead of them), looking every few
    // milliseconds: a show with nothing left to draw renders dozens of frames in a blink.
    bool paused = false;
    auto pause = [&](bool stop) {
        if (stop != paused) kill(capture.Pid(), stop ? SIGSTOP : SIGCONT);
        paused = stop;
    };
    auto keepPace = [&](const std::function<double()>& allowed) {
        pause(LastFrame(frameFolder) > allowed());
    };
    auto holdTo = [&](const std::function<double()>& allowed, std::chrono::milliseconds span) {
        const auto until = Clock::now() + span;
        do {
            keepPace(allowed);
            std::this_thread::sleep_for(5ms);
        } while (Clock::now() < until);
    };
    const auto stormPace = [&] { return cleanRate * stormed(); };
    while (capture.Running() && stormed() < kStormSeconds && LastFrame(frameFolder) < stormUntil) {
        if (next == schedule.size()) {
            std::shuffle(schedule.begin(), schedule.end(), rng);
            next = 0;
        }
        const auto& [name, kind] = schedule[next++];
        if (kind < 0) {
            std::error_code error;
            fs::remove(data / name, error);
            ++deletions;
        } else {
            // Making the damage may take a while (megabytes of noise, slower still in the sanitizer
            // build); a broken show left running meanwhile would race far past the pace.
            pause(true);
            const std::string damaged = DamageFor(name)[kind](files.at(name), rng);
            keepPace(stormPace);
            Save(data / name, damaged, rng() % 2 == 0);
            ++writes;
        }
        lastDamage[name] = kind;
        peakMemory = std::max(peakMemory, ResidentBytes(capture.Pid()));
        DropFramesBefore(frameFolder, LastFrame(frameFolder) - 4, dropped);
        holdTo(stormPace, std::chrono::milliseconds(20 + rng() % 81));
    }
    // The capture waits, stopped, until everything is back, so that it cannot race through its
    // calm stretch on a broken show before the repaired files are even there.
    pause(true);
    const int stormFrames = LastFrame(frameFolder) + 1;
    const double stormSeconds = stormed();

    // Everything back as it was, each file whole and at once, well after the last damage. Headers
    // go first: a shader compiles its included files as they are when it is noticed, and is not
    // compiled again for an edit of a header alone.
    std::this_thread::sleep_for(150ms);
    for (const bool headers : {true, false}) {
        for (const auto& [name, contents] : files) {
            if ((fs::path(name).extension() == ".fxh") == headers) Save(data / name, contents, false);
        }
    }
    EXPECT_LT(stormFrames + kCompared, frames) << "the storm left no calm frames to compare";

    const auto calmStart = Clock::now();
    const auto calmPace = [&] {
        return stormFrames + cleanRate * std::chrono::duration<double>(Clock::now() - calmStart).count();
    };
    // Only a capture that makes no progress for minutes is given up on: a slow build on a busy
    // machine takes as long as it takes.
    int lastSeen = stormFrames - 1;
    auto lastProgress = Clock::now();
    while (capture.Running()) {
        peakMemory = std::max(peakMemory, ResidentBytes(capture.Pid()));
        const int last = LastFrame(frameFolder);
        if (last != lastSeen) lastSeen = last, lastProgress = Clock::now();
        if (Clock::now() - lastProgress > 300s) break;
        DropFramesBefore(frameFolder, std::min(last - 4, frames - kCompared), dropped);
        holdTo(calmPace, 50ms);
    }
    pause(false);
    const auto exitCode = capture.Wait(10s);
    const double totalSeconds = std::chrono::duration<double>(Clock::now() - stormStart).count();
    const auto texts = TestSupport::LogTexts(show.Log());
    std::printf(
        "[ storm    ] clean capture %.1f frames/s; %d writes and %d deletions in %.1f s, up to frame %d of "
        "%d; "
        "%.1f s in all; peak memory %.0f MiB\n",
        cleanRate, writes, deletions, stormSeconds, stormFrames, frames, totalSeconds,
        peakMemory / 1048576.0);
    for (const auto& [name, kind] : lastDamage)
        std::printf("[ storm    ]   last damage to %s: %d\n", name.c_str(), kind);
    for (const char* what : {"crashed the compiler", "ran out of memory", "took longer than",
                             "includes nest deeper", "compile error", "above the budget", "LUT_3D_SIZE",
                             "is not three numbers", "Error creating texture", "could not be opened"})
        std::printf("[ storm    ]   %4zu log lines with \"%s\"\n", Count(texts, what), what);

    ASSERT_TRUE(exitCode.has_value()) << "the capture did not end";
    EXPECT_EQ(*exitCode, 0) << capture.Output().substr(0, 4000);
    EXPECT_LT(peakMemory, kMemoryBound);
    EXPECT_GT(writes, 50) << "the storm was too short to mean anything";
    EXPECT_GT(Count(texts, "compile error"), 0u);

    for (int i = 0; i < kCompared; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "frame%05d.png", frames - kCompared + i);
        char reference[32];
        std::snprintf(reference, sizeof reference, "frame%05d.png", i);
        const TestSupport::Image stormed = TestSupport::ReadPicture(frameFolder / name);
        const TestSupport::Image expected = TestSupport::ReadPicture(cleanFrames / reference);
        ASSERT_FALSE(expected.rgba.empty()) << reference;
        EXPECT_TRUE(TestSupport::ImagesNear(stormed, expected, 0, 0.0, std::string("storm-") + name)) << name;
    }
}

}  // namespace
