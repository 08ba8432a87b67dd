#include "main/join.h"

#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "main/capture.h"
#include "main/winMain.h"
#include "platform/video/videoTools.h"

namespace {

constexpr char kLabelMark[] = "vantrisk-piece";

std::string Quoted(const std::string& path) {
    return "'" + path + "'";
}

// The whole of frames 0 to `index` - 1 in microseconds, rounded once, so that lengths taken as
// differences of it add up to the exact end with no drift over many pieces.
long long Microseconds(const FrameRate& rate, int64_t index) {
    return std::llround(double(index) * double(rate.denominator) * 1e6 / double(rate.numerator));
}

// A file removed when it goes out of scope, unless kept.
class TemporaryFile {
public:
    explicit TemporaryFile(std::filesystem::path path) : m_path(std::move(path)) {}
    ~TemporaryFile() {
        std::error_code ignored;
        if (!m_path.empty()) std::filesystem::remove(m_path, ignored);
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::filesystem::path& Path() const { return m_path; }
    void Keep() { m_path.clear(); }

private:
    std::filesystem::path m_path;
};

// Why `piece` does not belong with `first`, the first piece given; "" when it does.
std::string Mismatch(const Piece& piece, const Platform::VideoFacts& facts, const Piece& first,
                     const Platform::VideoFacts& firstFacts) {
    const auto differs = [&](const char* what, const std::string& mine, const std::string& theirs) {
        return Quoted(piece.path) + " is not a piece of the same capture as " + Quoted(first.path) +
               ": its " + what + " is " + mine + ", not " + theirs;
    };
    const auto size = [](const Platform::VideoFacts& f) {
        return std::to_string(f.width) + "x" + std::to_string(f.height);
    };
    if (facts.codec != firstFacts.codec) return differs("codec", facts.codec, firstFacts.codec);
    if (size(facts) != size(firstFacts)) return differs("size", size(facts), size(firstFacts));
    if (piece.label.rate != first.label.rate)
        return differs("frame rate", piece.label.rate.Text(), first.label.rate.Text());
    if (piece.label.total != first.label.total || piece.label.from != first.label.from ||
        piece.label.music != first.label.music) {
        return differs("capture", FormatPieceLabel(piece.label), FormatPieceLabel(first.label));
    }
    return "";
}

}  // namespace

std::string FormatPieceLabel(const PieceLabel& label) {
    char from[64];
    // Seventeen digits bring a double back exactly.
    std::snprintf(from, sizeof from, "%.17g", label.from);
    return std::string(kLabelMark) + " frames=" + label.frames.Text() + " of=" + std::to_string(label.total) +
           " rate=" + label.rate.Text() + " from=" + from + " music=" + label.music;
}

bool ParsePieceLabel(const std::string& text, PieceLabel& label) {
    std::istringstream in(text);
    std::string mark, frames, total, rate, from;
    if (!(in >> mark >> frames >> total >> rate >> from) || mark != kLabelMark) return false;
    const auto value = [](const std::string& field, const char* key) -> std::string {
        const std::string prefix = std::string(key) + "=";
        return field.rfind(prefix, 0) == 0 ? field.substr(prefix.size()) : std::string("\n");
    };
    PieceLabel read;
    if (!ParseFrameRange(value(frames, "frames"), read.frames).empty()) return false;
    if (!ParseFrameRate(value(rate, "rate"), read.rate).empty()) return false;
    char* end = nullptr;
    const std::string totalText = value(total, "of"), fromText = value(from, "from");
    read.total = std::strtoll(totalText.c_str(), &end, 10);
    if (totalText.empty() || *end != '\0' || read.total < read.frames.end) return false;
    read.from = std::strtod(fromText.c_str(), &end);
    if (fromText.empty() || *end != '\0' || !std::isfinite(read.from)) return false;
    // The music's name is the rest of the line and may hold spaces.
    const size_t music = text.find(" music=");
    if (music == std::string::npos) return false;
    read.music = text.substr(music + 7);
    label = read;
    return true;
}

std::string OrderPieces(std::vector<Piece>& pieces) {
    if (pieces.empty()) return "no pieces to join";
    std::stable_sort(pieces.begin(), pieces.end(), [](const Piece& a, const Piece& b) {
        return a.label.frames.first < b.label.frames.first;
    });
    const PieceLabel& capture = pieces.front().label;
    for (const Piece& piece : pieces) {
        if (piece.label.total != capture.total || piece.label.rate != capture.rate ||
            piece.label.from != capture.from || piece.label.music != capture.music) {
            return Quoted(piece.path) + " is not a piece of the same capture as " +
                   Quoted(pieces.front().path);
        }
    }
    const auto range = [](const Piece& piece) { return " (frames " + piece.label.frames.Text() + ")"; };
    if (capture.frames.first > 0) {
        return "frames 0:" + std::to_string(capture.frames.first) + " are missing before " +
               Quoted(pieces.front().path) + range(pieces.front());
    }
    for (size_t i = 1; i < pieces.size(); ++i) {
        const Piece& before = pieces[i - 1];
        const Piece& piece = pieces[i];
        if (piece.label.frames == before.label.frames) {
            return Quoted(piece.path) + " duplicates " + Quoted(before.path) + range(piece);
        }
        if (piece.label.frames.first < before.label.frames.end) {
            return Quoted(piece.path) + range(piece) + " overlaps " + Quoted(before.path) + range(before);
        }
        if (piece.label.frames.first > before.label.frames.end) {
            return "frames " + FrameRange{before.label.frames.end, piece.label.frames.first}.Text() +
                   " are missing between " + Quoted(before.path) + " and " + Quoted(piece.path);
        }
    }
    const Piece& last = pieces.back();
    if (last.label.frames.end != capture.total) {
        return "frames " + FrameRange{last.label.frames.end, capture.total}.Text() + " are missing after " +
               Quoted(last.path) + range(last);
    }
    return "";
}

int RunJoin(const std::string& output, const std::vector<std::string>& paths) {
    const auto fail = [](const std::string& message) {
        std::fprintf(stderr, "Cannot join: %s\n", message.c_str());
        return 1;
    };
    if (!IsVideoOutput(output)) return fail("the output must be a video (.mp4 .mkv .webm .mov)");
    if (!Platform::IsVideoEncoderAvailable() || !Platform::IsVideoProbeAvailable())
        return fail("ffmpeg and ffprobe are needed; install ffmpeg");

    std::vector<Piece> pieces;
    Platform::VideoFacts firstFacts;
    std::error_code error;
    for (const std::string& path : paths) {
        if (!std::filesystem::is_regular_file(path, error))
            return fail("the piece " + Quoted(path) + " does not exist");
        if (std::filesystem::equivalent(path, output, error))
            return fail("the output " + Quoted(output) + " is also given as a piece");
        std::string problem;
        const auto facts = Platform::ProbeVideo(path, problem);
        if (!facts) return fail(Quoted(path) + " is not a video: " + problem);
        Piece piece{path, {}};
        if (!ParsePieceLabel(facts->comment, piece.label))
            return fail(Quoted(path) +
                        " is not a piece of a split capture (captured without --segment or --frames)");
        if (facts->frames != piece.label.frames.Size()) {
            return fail(Quoted(path) + " is incomplete: it holds " + std::to_string(facts->frames) +
                        " of its " + std::to_string(piece.label.frames.Size()) + " frames (" +
                        piece.label.frames.Text() + ")");
        }
        if (pieces.empty()) {
            firstFacts = *facts;
        } else if (const std::string mismatch = Mismatch(piece, *facts, pieces.front(), firstFacts);
                   !mismatch.empty()) {
            return fail(mismatch);
        }
        pieces.push_back(std::move(piece));
    }
    if (const std::string problem = OrderPieces(pieces); !problem.empty()) return fail(problem);

    const PieceLabel& capture = pieces.front().label;
    std::vector<Platform::ConcatPiece> list;
    for (const Piece& piece : pieces) {
        list.push_back({std::filesystem::absolute(piece.path).string(),
                        Microseconds(capture.rate, piece.label.frames.end) -
                            Microseconds(capture.rate, piece.label.frames.first)});
    }
    const std::string id = std::to_string(::getpid());
    TemporaryFile listFile(std::filesystem::temp_directory_path() / ("vantrisk-join-" + id + ".txt"));
    {
        std::ofstream out(listFile.Path(), std::ios::trunc);
        out << Platform::ConcatList(list);
        if (!out) return fail("cannot write " + Quoted(listFile.Path().string()));
    }

    std::string musicCopy;
    if (!capture.music.empty()) {
        const std::string mountFailure = MountData();
        if (!mountFailure.empty()) return fail("the show's data for its music: " + mountFailure);
        musicCopy = CopyMusicToHost(capture.music);
        if (musicCopy.empty()) return fail("cannot read the show's music " + Quoted(capture.music));
    }
    const TemporaryFile music(musicCopy);

    // Written beside the output under a name of its own and renamed when complete, so that a failed
    // join leaves no half-written file and an existing output untouched.
    const std::filesystem::path target(output);
    TemporaryFile joined(target.parent_path() /
                         ("." + target.stem().string() + ".joining-" + id + target.extension().string()));
    Platform::ConcatDesc desc;
    desc.listPath = listFile.Path().string();
    desc.output = joined.Path().string();
    desc.audioPath = musicCopy;
    desc.audioStart = capture.from;
    desc.duration = double(Microseconds(capture.rate, capture.total)) / 1e6;
    std::string log;
    if (!Platform::RunVideoTool(Platform::ConcatArguments(desc), log)) return fail("ffmpeg failed:\n" + log);
    std::filesystem::rename(joined.Path(), target, error);
    if (error) return fail("cannot write " + Quoted(output) + ": " + error.message());
    joined.Keep();
    std::fprintf(stderr, "Joined %zu pieces, %lld frames, into %s\n", pieces.size(),
                 static_cast<long long>(capture.total), output.c_str());
    return 0;
}
