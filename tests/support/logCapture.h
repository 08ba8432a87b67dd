// Captures what the log writes during a test and splits it back into function names and texts.
#pragma once

#include <string>
#include <vector>

namespace TestSupport {

/// One logged line: the function name of its call site and its text.
struct LogLine {
    std::string function;
    std::string text;
    bool operator==(const LogLine&) const = default;
};

/// Captures the log's standard-error output from construction until Lines() is first called.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    /// Stops capturing (on the first call) and returns the lines logged meanwhile.
    const std::vector<LogLine>& Lines();
    /// The texts of the logged lines only.
    std::vector<std::string> Texts();

private:
    bool m_capturing = true;
    std::vector<LogLine> m_lines;
};

}  // namespace TestSupport
