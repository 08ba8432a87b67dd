#include "platform/video/videoEncoder.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

namespace Platform {

namespace {

// How much lower than ours the encoder's priority is (in nice steps).
constexpr int kEncoderNice = 10;

std::string Number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

std::string LastLines(const std::string& path, int count) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::string tail;
    for (size_t i = lines.size() > size_t(count) ? lines.size() - count : 0; i < lines.size(); ++i)
        tail += lines[i] + "\n";
    return tail;
}

}  // namespace

std::optional<VideoQuality> VideoQualityFromName(std::string_view name) {
    if (name == "draft") return VideoQuality::Draft;
    if (name == "normal") return VideoQuality::Normal;
    if (name == "best") return VideoQuality::Best;
    return std::nullopt;
}

std::vector<std::string> VideoEncoderArguments(const VideoDesc& desc) {
    const std::string size = std::to_string(desc.width) + "x" + std::to_string(desc.height);
    std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-y",
                                     "-f",     "rawvideo",     "-pix_fmt",  "rgba",  "-s",
                                     size,     "-r",           desc.rate,   "-i",    "pipe:0"};
    if (!desc.audioPath.empty()) {
        args.insert(args.end(),
                    {"-ss", Number(desc.audioStart), "-t", Number(desc.duration), "-i", desc.audioPath});
    }
    args.insert(args.end(), {"-map", "0:v"});
    if (!desc.audioPath.empty()) args.insert(args.end(), {"-map", "1:a"});
    const bool webm = desc.path.size() >= 5 && desc.path.compare(desc.path.size() - 5, 5, ".webm") == 0;
    // Chosen by quality (draft, normal, best) by measuring half a second of every scene of the bundled
    // show at 30 and 60 frames per second against the lossless frames: normal and best keep at least
    // 40 dB PSNR on every scene, the hardest being a lattice of thousands of tiny cubes (about 41 dB
    // there at 60 fps). For mp4, normal is x264's quickest preset, whose work hardly grows with the
    // bit rate, so a low CRF keeps the promise at the same cost to the rendering on a machine with
    // few cores; best is the careful preset at a lower CRF still.
    using Arguments = std::vector<std::string>;
    static const Arguments kVp9[] = {
        {"-deadline", "realtime", "-cpu-used", "8", "-row-mt", "1", "-crf", "38", "-b:v", "0"},
        {"-deadline", "realtime", "-cpu-used", "8", "-row-mt", "1", "-crf", "30", "-b:v", "0"},
        {"-b:v", "4M"},
    };
    static const Arguments kX264[] = {
        {"-preset", "ultrafast", "-crf", "26"},
        {"-preset", "ultrafast", "-crf", "13"},
        {"-preset", "fast", "-crf", "12"},
    };
    const Arguments& video = (webm ? kVp9 : kX264)[static_cast<int>(desc.quality)];
    args.insert(args.end(), {"-c:v", webm ? "libvpx-vp9" : "libx264"});
    args.insert(args.end(), video.begin(), video.end());
    args.insert(args.end(), {"-pix_fmt", "yuv420p"});
    if (!desc.audioPath.empty()) {
        if (webm) {
            args.insert(args.end(), {"-c:a", "libopus"});
        } else {
            args.insert(args.end(), {"-c:a", "aac", "-b:a", "192k"});
        }
    }
    if (!desc.comment.empty()) args.insert(args.end(), {"-metadata", "comment=" + desc.comment});
    // The video's length is the frame count; the audio is cut to the same span.
    if (desc.duration > 0) args.insert(args.end(), {"-t", Number(desc.duration)});
    args.push_back(desc.path);
    return args;
}

bool IsVideoEncoderAvailable() {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        if (access((folder + "/ffmpeg").c_str(), X_OK) == 0) return true;
    }
    return false;
}

VideoEncoder::~VideoEncoder() {
    if (m_pid > 0) {
        if (m_pipe >= 0) close(m_pipe);
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }
    if (!m_logPath.empty()) std::remove(m_logPath.c_str());
}

bool VideoEncoder::Open(const VideoDesc& desc) {
    if (!IsVideoEncoderAvailable()) {
        m_error = "ffmpeg was not found; install it to capture video";
        return false;
    }
    m_frameBytes = size_t(desc.width) * size_t(desc.height) * 4;
    std::vector<std::string> args = VideoEncoderArguments(desc);

    int fds[2];
    if (pipe(fds) != 0) {
        m_error = std::string("cannot make a pipe: ") + std::strerror(errno);
        return false;
    }
    char logTemplate[] = "/tmp/vantrisk-ffmpeg-XXXXXX";
    const int logFd = mkstemp(logTemplate);
    if (logFd >= 0) {
        close(logFd);
        m_logPath = logTemplate;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (!m_logPath.empty())
        posix_spawn_file_actions_addopen(&actions, 2, m_logPath.c_str(), O_WRONLY | O_TRUNC, 0644);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // The encoder runs below the rendering's priority: on two cores it otherwise takes the core the
    // frame being drawn needs, and the capture ends up slower than drawing and encoding by turns.
    // The priority of a child is that of the thread that starts it, so a thread of its own lowers its
    // own priority and starts the encoder.
    int spawned = 0;
    std::thread([&] {
        errno = 0;
        const int nice = getpriority(PRIO_PROCESS, gettid());
        if (errno == 0) setpriority(PRIO_PROCESS, gettid(), std::min(nice + kEncoderNice, 19));
        spawned = posix_spawnp(&m_pid, "ffmpeg", &actions, nullptr, argv.data(), environ);
    }).join();
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    if (spawned != 0) {
        close(fds[1]);
        m_pid = -1;
        m_error = std::string("cannot start ffmpeg: ") + std::strerror(spawned);
        return false;
    }
    m_pipe = fds[1];
    // A frame is megabytes and the pipe 64 KiB by default: a larger pipe takes a frame in a few
    // writes instead of dozens of hand-overs between us and the encoder. Best effort: the system may
    // cap it.
    for (int bytes = 1 << 20; bytes >= 1 << 16; bytes /= 2)
        if (fcntl(m_pipe, F_SETPIPE_SZ, bytes) >= 0) break;
    // A dead encoder must give a write error, not kill us.
    signal(SIGPIPE, SIG_IGN);
    return true;
}

bool VideoEncoder::Write(const uint8_t* rgba) {
    if (m_pipe < 0) return false;
    size_t written = 0;
    while (written < m_frameBytes) {
        const ssize_t n = write(m_pipe, rgba + written, m_frameBytes - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            m_error = "ffmpeg stopped reading frames:\n" + LastLines(m_logPath, 8);
            return false;
        }
        written += size_t(n);
    }
    return true;
}

bool VideoEncoder::Close() {
    if (m_pid <= 0) return false;
    if (m_pipe >= 0) close(m_pipe);
    m_pipe = -1;
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        m_error = "ffmpeg failed:\n" + LastLines(m_logPath, 8);
        return false;
    }
    return true;
}

}  // namespace Platform
