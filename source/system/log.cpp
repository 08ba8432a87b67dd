#include "system/log.h"

#include <physfs.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

// Cutting stamps, locations and messages at their buffer sizes is the intended behaviour.
#pragma GCC diagnostic ignored "-Wformat-truncation"

// Module state, as small fixed buffers: the log must work before anything else is up and must not
// allocate while reporting an allocation failure.
namespace {
char g_traceFile[257] = "";
int g_traceLine = 0;
char g_traceFunction[257] = "";
PHYSFS_File* g_logFile = nullptr;
bool g_openAttempted = false;
LogListener g_listener = nullptr;
bool g_toStandardError = true;

constexpr int kFieldWidth = 40;

// The latest messages, whole and with their call sites, for on-screen readers; a ring of fixed
// buffers like the rest of the log's state.
struct RecentMessage {
    uint64_t sequence = 0;
    char file[257] = "";
    int line = 0;
    char function[257] = "";
    char text[1025] = "";
};
RecentMessage g_recent[kLogRecentMessages];
uint64_t g_lastSequence = 0;

void CopyBounded(char* dst, size_t size, const char* src) {
    std::snprintf(dst, size, "%s", src ? src : "");
}
}  // namespace

void SetTraceLocation(const char* file, int line, const char* function) {
    CopyBounded(g_traceFile, sizeof g_traceFile, file);
    g_traceLine = line;
    CopyBounded(g_traceFunction, sizeof g_traceFunction, function);
}

int Log(const char* format, ...) {
    char stamp[64];
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm utc{};
    gmtime_r(&now.tv_sec, &utc);
    std::snprintf(stamp, 32, "[%04d%02d%02dT%02d%02d%02d.%03dZ]", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(now.tv_nsec / 1000000));

    char location[257];
    std::snprintf(location, sizeof location, "%s@%d %s", g_traceFile, g_traceLine, g_traceFunction);

    // Right-align the location in a 40-character field; a longer one keeps its end, where the line
    // number and function name are.
    char prefix[44];
    const int n = static_cast<int>(std::strlen(location));
    if (n <= kFieldWidth) {
        std::snprintf(prefix, sizeof prefix, "[%*s%s] ", kFieldWidth - n, "", location);
    } else {
        std::snprintf(prefix, sizeof prefix, "[%s] ", location + (n - kFieldWidth));
    }

    char message[1025];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);

    if (g_listener) g_listener(g_traceFile, g_traceLine, g_traceFunction, message);
    RecentMessage& recent = g_recent[g_lastSequence % kLogRecentMessages];
    recent.sequence = ++g_lastSequence;
    CopyBounded(recent.file, sizeof recent.file, g_traceFile);
    recent.line = g_traceLine;
    CopyBounded(recent.function, sizeof recent.function, g_traceFunction);
    CopyBounded(recent.text, sizeof recent.text, message);

    // Runs of newlines separate lines; empty lines are never written.
    char* save = nullptr;
    for (char* line = strtok_r(message, "\n", &save); line; line = strtok_r(nullptr, "\n", &save)) {
        LogWrite(stamp);
        LogWrite(prefix);
        LogWrite(line);
        LogWrite("\n");
    }
    return 0;
}

void LogWrite(const char* text) {
    if (g_toStandardError) std::fputs(text, stderr);

    if (!g_logFile) {
        if (g_openAttempted) return;
        g_openAttempted = true;
        if (!PHYSFS_isInit() || !PHYSFS_getWriteDir()) return;
        g_logFile = PHYSFS_openWrite("Vantrisk.log");
        if (!g_logFile) return;
    }
    const size_t length = std::strlen(text);
    if (length > 0) PHYSFS_writeBytes(g_logFile, text, length);
    PHYSFS_flush(g_logFile);
}

void LogReset() {
    if (g_logFile) PHYSFS_close(g_logFile);
    g_logFile = nullptr;
    g_openAttempted = false;
}

void SetLogListener(LogListener listener) {
    g_listener = listener;
}

void SetLogToStandardError(bool on) {
    g_toStandardError = on;
}

uint64_t ReadRecentLogMessages(uint64_t after, const std::function<void(const LogMessage&)>& reader) {
    const uint64_t oldest = g_lastSequence > kLogRecentMessages ? g_lastSequence - kLogRecentMessages + 1 : 1;
    for (uint64_t sequence = std::max(after + 1, oldest); sequence <= g_lastSequence; ++sequence) {
        const RecentMessage& recent = g_recent[(sequence - 1) % kLogRecentMessages];
        reader({recent.sequence, recent.file, recent.line, recent.function, recent.text});
    }
    return g_lastSequence;
}
