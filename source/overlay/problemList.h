// The problems of the show since its script was last loaded, read from the log: messages that report
// a failure (a shader that does not compile, a missing file, a bad parameter), newest first, each
// gone once a file it names changes and its reload says nothing new, all gone when the script does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct LogMessage;

namespace Overlay {

struct Problem {
    std::string function;            ///< who reported it
    std::string text;                ///< the whole message ("file:line: message" lines of a compiler)
    std::vector<std::string> files;  ///< the data files it names
    int repeats = 1;                 ///< how often it was reported since it first appeared
};

class ProblemList {
public:
    /// Problems kept at most; older ones make way.
    static constexpr size_t kMaxProblems = 64;

    /// A list for the show whose script is `scriptName`.
    explicit ProblemList(std::string scriptName) : m_scriptName(std::move(scriptName)) {}

    /// Reads the messages logged since the last call (at the first, all the log still keeps).
    void Update();
    /// Takes one message into account, as Update does for each new one.
    void Take(const LogMessage& message);
    /// Forgets the problems listed so far, as a reload of the script does; later messages count anew.
    void Clear() { m_problems.clear(); }
    /// The problems, newest first.
    const std::vector<Problem>& Problems() const { return m_problems; }

    /// Whether a message only tells how things go rather than that something went wrong.
    static bool IsInformational(const std::string& text);
    /// The data files a message names: quoted names and the "name.ext:line" of compiler messages.
    static std::vector<std::string> FilesNamedIn(const std::string& text);

private:
    void Forget(const std::string& file);

    std::string m_scriptName;
    uint64_t m_lastRead = 0;
    std::vector<Problem> m_problems;
};

}  // namespace Overlay
