#include "e2e/showFolder.h"

#include <cmath>
#include <cstdint>
#include <fstream>

#include "platform/image/imageCodec.h"
#include "support/process.h"

namespace TestSupport {

ShowFolder::ShowFolder() {
    std::filesystem::create_directories(m_folder.Path() / "data");
}

void ShowFolder::WriteData(const std::string& name, const std::string& contents) const {
    m_folder.Write("data/" + name, contents);
}

void ShowFolder::WriteArchive(const std::vector<std::pair<std::string, std::string>>& files) const {
    TempFolder staging;
    std::vector<std::string> command{"zip", "-q", "-r", (Path() / "demo.dat").string()};
    for (const auto& [name, contents] : files) {
        staging.Write(name, contents);
        command.push_back(name);
    }
    RunCommand(command, nullptr, staging.Path());
}

std::string ShowFolder::Script(const std::string& attributes, const std::string& body) {
    return "<?xml version=\"1.0\"?>\n<demo " + attributes + ">\n" + body + "</demo>\n";
}

std::string ShowFolder::Wave(double seconds, int rate) {
    const uint32_t frames = static_cast<uint32_t>(seconds * rate);
    std::string wav;
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) wav += char((v >> (8 * i)) & 0xff);
    };
    auto put16 = [&](uint16_t v) {
        for (int i = 0; i < 2; ++i) wav += char((v >> (8 * i)) & 0xff);
    };
    wav += "RIFF";
    put32(36 + frames * 2);
    wav += "WAVEfmt ";
    put32(16);
    put16(1);
    put16(1);
    put32(rate);
    put32(rate * 2);
    put16(2);
    put16(16);
    wav += "data";
    put32(frames * 2);
    for (uint32_t i = 0; i < frames; ++i) put16(uint16_t(int16_t(2000 * std::sin(i * 0.05))));
    return wav;
}

std::string ShowFolder::FinalShader() {
    return ReadHostFile(std::filesystem::path(VANTRISK_SOURCE_DIR) / "data" / "final.fx");
}

std::vector<std::string> LogTexts(const std::string& log) {
    std::vector<std::string> texts;
    for (const auto& line : SplitLines(log)) {
        // 22-character stamp, then "[" + 40 characters + "] ".
        if (line.size() >= 65 && line[0] == '[' && line[22] == '[') texts.push_back(line.substr(65));
    }
    return texts;
}

PngInfo ReadPngInfo(const std::filesystem::path& path) {
    const std::string bytes = ReadHostFile(path);
    PngInfo info;
    if (bytes.size() < 33 || bytes.compare(1, 3, "PNG") != 0) return info;
    auto be32 = [&](size_t at) {
        return int(uint8_t(bytes[at]) << 24 | uint8_t(bytes[at + 1]) << 16 | uint8_t(bytes[at + 2]) << 8 |
                   uint8_t(bytes[at + 3]));
    };
    info.width = be32(16);
    info.height = be32(20);
    const int depth = uint8_t(bytes[24]);
    const int colourType = uint8_t(bytes[25]);
    const int channels = colourType == 2 ? 3 : colourType == 6 ? 4 : colourType == 4 ? 2 : 1;
    info.bitsPerPixel = depth * channels;
    return info;
}

Image ReadPicture(const std::filesystem::path& path) {
    const std::string bytes = ReadHostFile(path);
    ::Image::Picture picture;
    std::string error;
    TestSupport::Image image;
    if (!::Image::Decode(bytes.data(), bytes.size(), picture, error)) return image;
    image.width = uint32_t(picture.width);
    image.height = uint32_t(picture.height);
    image.rgba = std::move(picture.rgba);
    return image;
}

}  // namespace TestSupport
