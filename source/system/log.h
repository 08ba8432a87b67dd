// The one log of the program: every diagnostic goes here, stamped with UTC time and the call site,
// written to standard error (our debugger output) and to "Vantrisk.log" in the write directory.
#pragma once

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

/// Logs a message from the call site; `function` is the qualified name shown in the log.
#define VLOG(function, ...) (SetTraceLocation(__FILE__, __LINE__, (function)), Log(__VA_ARGS__))
