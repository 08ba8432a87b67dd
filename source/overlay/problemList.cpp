#include "overlay/problemList.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "system/log.h"

namespace Overlay {

namespace {

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

bool EndsWith(const std::string& text, const char* suffix) {
    const size_t n = std::strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

// The file a "has changed" notice names ("" for any other message).
std::string ChangedFile(const std::string& text) {
    for (const char* prefix : {"FileWatcher has noticed that '", "Filewatcher has noticed that '"}) {
        if (!StartsWith(text, prefix)) continue;
        const size_t begin = std::strlen(prefix);
        const size_t end = text.find("' has changed", begin);
        if (end != std::string::npos) return text.substr(begin, end - begin);
    }
    return "";
}

bool LooksLikeFileName(const std::string& name) {
    const size_t dot = name.rfind('.');
    return !name.empty() && dot != std::string::npos && dot > 0 && dot + 1 < name.size() &&
           name.find(' ') == std::string::npos;
}

bool IsNameCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.' || c == '/';
}

}  // namespace

bool ProblemList::IsInformational(const std::string& raw) {
    const std::string text = Trimmed(raw);
    for (const char* mount : {"Mounted archive: ", "Mounted directory: "}) {
        if (StartsWith(text, mount)) {
            const std::string error = text.substr(std::strlen(mount));
            return error == "(null)" || StartsWith(error, "not found");
        }
    }
    static const char* const kStarts[] = {
        "Starting ",
        "Exited main loop",
        "Initialised graphics",
        "Received WM_SIZE",
        "Saving screenshot..",
        "Rendering at ",
        "Video card is '",
        "Vertical sync is not honoured",
        "User chose not to run",
        "FileWatcher has noticed that '",
        "Filewatcher has noticed that '",
        "..but had no swapchain",
        "Seeking to show time ",
        "No usable audio device",
        "The shader compiler '",
    };
    for (const char* start : kStarts) {
        if (StartsWith(text, start)) return true;
    }
    return (StartsWith(text, "XML [") && EndsWith(text, "] parsed without errors")) ||
           text == "Parsing a .cube file.." || text == "..succeeded" ||
           // Entries built at their first draw announce it; a failure to build follows on its own.
           (StartsWith(text, "Shader trying to use unloaded ") && EndsWith(text, "Trying to load it now.."));
}

std::vector<std::string> ProblemList::FilesNamedIn(const std::string& text) {
    std::vector<std::string> files;
    const auto add = [&](std::string name) {
        if (LooksLikeFileName(name) && std::find(files.begin(), files.end(), name) == files.end())
            files.push_back(std::move(name));
    };
    // 'name.ext'
    for (size_t open = text.find('\''); open != std::string::npos;) {
        const size_t close = text.find('\'', open + 1);
        if (close == std::string::npos) break;
        add(text.substr(open + 1, close - open - 1));
        open = text.find('\'', close + 1);
    }
    // name.ext:12 at the start of a word, as compilers write where an error is
    for (size_t colon = text.find(':'); colon != std::string::npos; colon = text.find(':', colon + 1)) {
        if (colon + 1 >= text.size() || !std::isdigit(static_cast<unsigned char>(text[colon + 1]))) continue;
        size_t begin = colon;
        while (begin > 0 && IsNameCharacter(text[begin - 1])) --begin;
        add(text.substr(begin, colon - begin));
    }
    return files;
}

void ProblemList::Update() {
    m_lastRead = ReadRecentLogMessages(m_lastRead, [this](const LogMessage& message) { Take(message); });
}

void ProblemList::Take(const LogMessage& message) {
    const std::string text = message.text;
    const std::string changed = ChangedFile(text);
    if (!changed.empty()) {
        // The script's reload rebuilds everything and reports afresh whatever is still wrong.
        if (changed == m_scriptName)
            Clear();
        else
            Forget(changed);
        return;
    }
    if (IsInformational(text)) return;

    const std::string function = message.function;
    const auto seen = std::find_if(m_problems.begin(), m_problems.end(), [&](const Problem& problem) {
        return problem.function == function && problem.text == text;
    });
    if (seen != m_problems.end()) {
        // Reported again (a failing entry is tried at each draw): it moves to the top, once.
        Problem again = std::move(*seen);
        ++again.repeats;
        m_problems.erase(seen);
        m_problems.insert(m_problems.begin(), std::move(again));
        return;
    }
    m_problems.insert(m_problems.begin(), Problem{function, text, FilesNamedIn(text), 1});
    if (m_problems.size() > kMaxProblems) m_problems.pop_back();
}

void ProblemList::Forget(const std::string& file) {
    std::erase_if(m_problems, [&](const Problem& problem) {
        return std::find(problem.files.begin(), problem.files.end(), file) != problem.files.end();
    });
}

}  // namespace Overlay
