#include "platform/video/videoTools.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

namespace Platform {

namespace {

// More than a probe prints and enough of a failing ffmpeg's complaint to tell what went wrong.
constexpr size_t kKeptOutputBytes = 64 * 1024;

std::string Number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool IsOnPath(const char* program) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        if (access((folder + "/" + program).c_str(), X_OK) == 0) return true;
    }
    return false;
}

}  // namespace

bool IsVideoProbeAvailable() {
    return IsOnPath("ffprobe");
}

bool RunVideoTool(const std::vector<std::string>& arguments, std::string& output) {
    output.clear();
    char logTemplate[] = "/tmp/vantrisk-tool-XXXXXX";
    const int logFd = mkstemp(logTemplate);
    if (logFd < 0) {
        output = std::string("cannot make a temporary file: ") + std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, logFd, 1);
    posix_spawn_file_actions_adddup2(&actions, logFd, 2);
    posix_spawn_file_actions_addclose(&actions, logFd);
    std::vector<std::string> args = arguments;
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(logFd);
    int status = 0;
    if (spawned == 0) {
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    {
        std::ifstream in(logTemplate, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        output = text.str();
        if (output.size() > kKeptOutputBytes) output.erase(0, output.size() - kKeptOutputBytes);
    }
    std::remove(logTemplate);
    if (spawned != 0) {
        output = "cannot start " + arguments[0] + ": " + std::strerror(spawned);
        return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::optional<VideoFacts> ProbeVideo(const std::string& path, std::string& error) {
    std::string output;
    if (!RunVideoTool({"ffprobe", "-v", "error", "-count_packets", "-select_streams", "v:0", "-show_entries",
                       "stream=codec_name,width,height,r_frame_rate,nb_read_packets:format_tags=comment",
                       "-of", "default=noprint_wrappers=1", path},
                      output)) {
        error = output.empty() ? "ffprobe cannot read it" : output;
        while (!error.empty() && error.back() == '\n') error.pop_back();
        return std::nullopt;
    }
    VideoFacts facts;
    bool video = false;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = line.substr(0, equals), value = line.substr(equals + 1);
        if (key == "codec_name") {
            facts.codec = value;
            video = true;
        } else if (key == "width") {
            facts.width = std::atoi(value.c_str());
        } else if (key == "height") {
            facts.height = std::atoi(value.c_str());
        } else if (key == "r_frame_rate") {
            facts.rate = value;
        } else if (key == "nb_read_packets") {
            facts.frames = std::atol(value.c_str());
        } else if (key == "TAG:comment") {
            facts.comment = value;
        }
    }
    if (!video) {
        error = "it holds no video";
        return std::nullopt;
    }
    return facts;
}

std::string ConcatList(const std::vector<ConcatPiece>& pieces) {
    std::string list = "ffconcat version 1.0\n";
    for (const ConcatPiece& piece : pieces) {
        // Quoted for the demuxer: a quote inside ends the quoting, is escaped, and quoting resumes.
        std::string quoted = "'";
        for (const char c : piece.path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        quoted += "'";
        list += "file " + quoted + "\nduration " + std::to_string(piece.microseconds) + "us\n";
    }
    return list;
}

std::vector<std::string> ConcatArguments(const ConcatDesc& desc) {
    std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-y",         "-f",
                                     "concat", "-safe",        "0",         "-i",    desc.listPath};
    const bool audio = !desc.audioPath.empty();
    if (audio) {
        args.insert(args.end(),
                    {"-ss", Number(desc.audioStart), "-t", Number(desc.duration), "-i", desc.audioPath});
    }
    // The pieces' labels stay behind: the joined file is a whole capture, not a piece.
    args.insert(args.end(), {"-map", "0:v", "-c:v", "copy", "-map_metadata", "-1"});
    if (audio) {
        // As the capture's encoder puts the music in, so that a joined file sounds as a single one.
        args.insert(args.end(), {"-map", "1:a"});
        if (EndsWith(desc.output, ".webm")) {
            args.insert(args.end(), {"-c:a", "libopus"});
        } else {
            args.insert(args.end(), {"-c:a", "aac", "-b:a", "192k"});
        }
        args.insert(args.end(), {"-t", Number(desc.duration)});
    }
    args.push_back(desc.output);
    return args;
}

}  // namespace Platform
