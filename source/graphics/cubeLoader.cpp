#include "graphics/cubeLoader.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "system/log.h"

namespace {

// One line of the text and its number in the file, counted from 1, for messages.
struct Line {
    const char* text;
    size_t number;
};

// Breaks the work buffer into lines in place. Runs of line breaks count as one, so empty lines
// vanish; a line holding only the carriage return of a CR LF pair is empty too, which keeps files
// with CR LF line ends reading exactly like files with LF line ends.
std::vector<Line> SplitLines(std::vector<char>& buffer) {
    std::vector<Line> lines;
    size_t start = 0, number = 1;
    const size_t end = buffer.size() - 1;  // the terminator we appended
    for (size_t i = 0; i <= end; ++i) {
        if (i < end && buffer[i] != '\n') continue;
        buffer[i] = '\0';
        const size_t length = i - start;
        const bool empty = length == 0 || (length == 1 && buffer[start] == '\r');
        if (!empty) lines.push_back({&buffer[start], number});
        start = i + 1;
        ++number;
    }
    return lines;
}

// Reads three numbers separated by white space from the start of a line (text after them is ignored).
bool ReadRow(const char* line, float (&rgb)[3]) {
    const char* at = line;
    for (float& component : rgb) {
        char* next = nullptr;
        component = std::strtof(at, &next);
        if (next == at) return false;
        at = next;
    }
    return true;
}

// Scales a component to 0..255 in single precision, truncates toward zero and keeps the low 8 bits,
// so out-of-range values wrap around (1.5 gives 126, -0.1 gives 231). Done in 64 bits with the
// non-finite and huge cases spelt out, since a plain float-to-int cast of them is undefined.
uint8_t ToByte(float component) {
    const float scaled = component * 255.0f;
    if (!std::isfinite(scaled) || std::fabs(scaled) >= 9.0e18f) return 0;  // huge floats are multiples of 256
    return static_cast<uint8_t>(static_cast<uint64_t>(static_cast<int64_t>(scaled)) & 0xFF);
}

}  // namespace

CubeLoader::CubeLoader(const void* bytes, size_t length) {
    VLOG("CubeLoader::CubeLoader", "Parsing a .cube file..");
    ok = Parse(static_cast<const char*>(bytes), bytes ? length : 0);
    VLOG("CubeLoader::CubeLoader", ok ? "..succeeded" : "..failed");
}

bool CubeLoader::Fail(std::string reason) {
    error = std::move(reason);
    table.clear();
    return false;
}

bool CubeLoader::Parse(const char* text, size_t length) {
    // The work buffer: a terminated copy, so that the number conversions stop at the end of the data.
    std::vector<char> work(text, text + length);
    work.push_back('\0');
    const std::vector<Line> lines = SplitLines(work);

    static constexpr std::string_view kSizeKeyword = "LUT_3D_SIZE ";
    size_t at = 0;
    while (at < lines.size() && std::strncmp(lines[at].text, kSizeKeyword.data(), kSizeKeyword.size()) != 0)
        ++at;
    if (at == lines.size()) return Fail("no line starts with \"LUT_3D_SIZE \"");
    {
        const char* number = lines[at].text + kSizeKeyword.size();
        char* next = nullptr;
        const long n = std::strtol(number, &next, 10);
        if (next == number)
            return Fail("LUT_3D_SIZE is not followed by a whole number (line " +
                        std::to_string(lines[at].number) + ")");
        // A table that could not be a texture (or would not fit in memory) is refused here rather
        // than allocated; zero and negative sizes describe no table at all.
        const std::string written(number, static_cast<size_t>(next - number));
        const size_t digits = written.find_first_not_of(" \t");
        const std::string shown = "LUT_3D_SIZE " + written.substr(digits == std::string::npos ? 0 : digits);
        if (n < 1) return Fail(shown + " is below 1");
        if (n > kMaxSize) return Fail(shown + " is above " + std::to_string(kMaxSize));
        size = static_cast<int>(n);
    }
    ++at;

    float rgb[3];
    while (at < lines.size() && !ReadRow(lines[at].text, rgb)) ++at;
    if (at == lines.size()) return Fail("no row of three numbers follows LUT_3D_SIZE");

    const size_t rows = static_cast<size_t>(size) * size * size;
    auto badRow = [&](size_t row) {
        return Fail("row " + std::to_string(row + 1) + " is not three numbers (line " +
                    std::to_string(lines[at + row].number) + ")");
    };
    // A file too short for its size is told without allocating the table it announces.
    const size_t available = lines.size() - at;
    if (available < rows) {
        for (size_t row = 0; row < available; ++row) {
            if (!ReadRow(lines[at + row].text, rgb)) return badRow(row);
        }
        return Fail("the data ends after " + std::to_string(available) + " of " + std::to_string(rows) +
                    " rows");
    }
    table.resize(rows * 4);
    for (size_t row = 0; row < rows; ++row) {
        if (!ReadRow(lines[at + row].text, rgb)) return badRow(row);
        uint8_t* entry = &table[row * 4];
        entry[0] = ToByte(rgb[0]);
        entry[1] = ToByte(rgb[1]);
        entry[2] = ToByte(rgb[2]);
        entry[3] = 255;
    }
    return true;
}
