// The companion log. One line per WriteLog call, appended to the file named
// by the environment variable V77_LOG_FILE, or %TEMP%\V77DsBuffer.log when it
// is not set. The file is opened, appended to and closed under a lock for
// every line, so several threads (and processes) never interleave within a
// line and a changed V77_LOG_FILE takes effect at the next line.
#pragma once

#include <windows.h>
#include <string>

#include "framework/CCritSec.h"

class CGlobalErrorHandlingEnvironment {
public:
    CGlobalErrorHandlingEnvironment() = default;
    CGlobalErrorHandlingEnvironment(const CGlobalErrorHandlingEnvironment&) = delete;
    CGlobalErrorHandlingEnvironment& operator=(const CGlobalErrorHandlingEnvironment&) = delete;

    // printf-style; a missing final "\n" is added. Never throws; a log that
    // cannot be written is silently skipped.
    void WriteLog(const char* format, ...) noexcept __attribute__((format(__MINGW_PRINTF_FORMAT, 2, 3)));
    void WriteLogV(const char* format, va_list args) noexcept;

    // The file-name part of a path ("a/b\\c.cpp" gives "c.cpp"); "" for null.
    static std::string GetFilePart(const char* path);

    // Where the next line goes.
    static std::string GetLogFilePath();

private:
    void AppendLine(const char* text, size_t length) noexcept;

    CCritSec m_Lock;
};

extern CGlobalErrorHandlingEnvironment g_ErrorHandling;

// "2026-12-06 12:15:22.123": the FILETIME read as UTC (GetSystemTimeAsFileTime
// gives UTC, so log lines of all machines compare directly);
// "(invalid time)" when the value is out of range.
std::string GetDateAndTimeString(const FILETIME& time);
