// The one log of the program: every diagnostic goes here, stamped with UTC time and the call site,
// written to standard error (our debugger output) and to "Vantrisk.log" in the write directory.
#pragma once

#include <cstdint>
#include <functional>

/// Records the call site that the next Log call reports.
void SetTraceLocation(const char* file, int line, const char* function);

/// Formats a printf-style message and writes each non-empty line with the stamp and location prefix.
int Log(const char* format, ...) __attribute__((format(printf, 1, 2)));

/// Writes one piece of text to standard error and to the log file (opened on the first write).
void LogWrite(const char* text);

/// Forgets the open log file and the open attempt, so that the next write opens it anew (tests).
void LogReset();

/// Receives each logged message once, whole (before it is split into lines), with its call site.
using LogListener = void (*)(const char* file, int line, const char* function, const char* text);
/// Hands every following message to `listener` as well (null: to nobody); one listener at a time.
void SetLogListener(LogListener listener);
/// Whether log lines go to standard error (they always go to the log file); on at start.
void SetLogToStandardError(bool on);

/// One of the recent messages: its number in the run (the first is 1), call site and whole text.
struct LogMessage {
    uint64_t sequence = 0;
    const char* file = "";
    int line = 0;
    const char* function = "";
    const char* text = "";
};
/// How many of the latest messages the log keeps for readers.
inline constexpr int kLogRecentMessages = 256;
/// Hands each kept message numbered above `after` to `reader`, oldest first (the pointers are valid
/// during the call only); returns the number of the latest message logged, 0 before any.
uint64_t ReadRecentLogMessages(uint64_t after, const std::function<void(const LogMessage&)>& reader);

/// Logs a message from the call site; `function` is the qualified name shown in the log.
#define VLOG(function, ...) (SetTraceLocation(__FILE__, __LINE__, (function)), Log(__VA_ARGS__))
