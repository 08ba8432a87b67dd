#include "support/logCapture.h"

#include <gtest/gtest.h>

#include "support/tempFolder.h"

namespace TestSupport {

namespace {
// A log line is a 22-character stamp, "[", the 40-character location field, "] " and the text.
constexpr size_t kPrefixLength = 22 + 1 + 40 + 2;
}  // namespace

LogCapture::LogCapture() {
    testing::internal::CaptureStderr();
}

LogCapture::~LogCapture() {
    Lines();
}

const std::vector<LogLine>& LogCapture::Lines() {
    if (!m_capturing) return m_lines;
    m_capturing = false;
    const std::string output = testing::internal::GetCapturedStderr();
    for (const std::string& line : SplitLines(output)) {
        if (line.size() < kPrefixLength) continue;
        const std::string location = line.substr(23, 40);
        const size_t space = location.rfind(' ');
        m_lines.push_back({location.substr(space + 1), line.substr(kPrefixLength)});
    }
    return m_lines;
}

std::vector<std::string> LogCapture::Texts() {
    std::vector<std::string> texts;
    for (const auto& line : Lines()) texts.push_back(line.text);
    return texts;
}

}  // namespace TestSupport
