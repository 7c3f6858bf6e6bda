#include "companions/V77Global/CGlobalErrorHandlingEnvironment.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "framework/CAutoLock.h"

CGlobalErrorHandlingEnvironment g_ErrorHandling;

namespace {

// Owns a file handle for the duration of one append.
class CLogFileHandle {
public:
    explicit CLogFileHandle(const std::string& path)
        : m_hFile(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr))
    {
    }
    ~CLogFileHandle()
    {
        if (m_hFile != INVALID_HANDLE_VALUE)
            CloseHandle(m_hFile);
    }
    CLogFileHandle(const CLogFileHandle&) = delete;
    CLogFileHandle& operator=(const CLogFileHandle&) = delete;

    bool Write(const char* text, size_t length)
    {
        if (m_hFile == INVALID_HANDLE_VALUE)
            return false;
        DWORD written = 0;
        return WriteFile(m_hFile, text, static_cast<DWORD>(length), &written, nullptr) && written == length;
    }

private:
    HANDLE m_hFile;
};

std::string EnvironmentValue(const char* name)
{
    char small[MAX_PATH];
    DWORD length = GetEnvironmentVariableA(name, small, sizeof small);
    if (length == 0)
        return std::string();
    if (length < sizeof small)
        return std::string(small, length);
    std::vector<char> large(length);
    length = GetEnvironmentVariableA(name, large.data(), length);
    return length < large.size() ? std::string(large.data(), length) : std::string();
}

}  // namespace

void CGlobalErrorHandlingEnvironment::WriteLog(const char* format, ...) noexcept
{
    va_list args;
    va_start(args, format);
    WriteLogV(format, args);
    va_end(args);
}

void CGlobalErrorHandlingEnvironment::WriteLogV(const char* format, va_list args) noexcept
{
    if (!format)
        return;
    try {
        char small[1024];
        va_list copy;
        va_copy(copy, args);
        int length = vsnprintf(small, sizeof small, format, copy);
        va_end(copy);
        if (length < 0)
            return;
        std::string line;
        if (static_cast<size_t>(length) < sizeof small) {
            line.assign(small, static_cast<size_t>(length));
        } else {
            std::vector<char> large(static_cast<size_t>(length) + 1);
            vsnprintf(large.data(), large.size(), format, args);
            line.assign(large.data(), static_cast<size_t>(length));
        }
        if (line.empty() || line.back() != '\n')
            line += '\n';
        AppendLine(line.data(), line.size());
    } catch (...) {
        // Out of memory while formatting: the line is lost, the caller is not.
    }
}

void CGlobalErrorHandlingEnvironment::AppendLine(const char* text, size_t length) noexcept
{
    try {
        std::string path = GetLogFilePath();
        if (path.empty())
            return;
        CAutoLock lock(&m_Lock);
        CLogFileHandle file(path);
        file.Write(text, length);
    } catch (...) {
    }
}

std::string CGlobalErrorHandlingEnvironment::GetFilePart(const char* path)
{
    if (!path)
        return std::string();
    const char* part = path;
    for (const char* p = path; *p; ++p) {
        if (*p == '/' || *p == '\\' || *p == ':')
            part = p + 1;
    }
    return part;
}

std::string CGlobalErrorHandlingEnvironment::GetLogFilePath()
{
    std::string path = EnvironmentValue("V77_LOG_FILE");
    if (!path.empty())
        return path;
    char folder[MAX_PATH + 1];
    DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder)
        return std::string();
    return std::string(folder, length) + "V77DsBuffer.log";
}

std::string GetDateAndTimeString(const FILETIME& time)
{
    SYSTEMTIME st;
    if (!FileTimeToSystemTime(&time, &st))
        return "(invalid time)";
    char text[32];
    snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", st.wYear, st.wMonth, st.wDay, st.wHour,
             st.wMinute, st.wSecond, st.wMilliseconds);
    return text;
}
