#include "tools/V77Host/HostCli.h"

#include <cstdio>
#include "tools/V77Host/HostText.h"

int ParseHostCommand(const HostCommandSpec& spec, int argc, char** argv, HostCommandLine* line)
{
    CHostArgs& args = line->args;
    if (!args.Parse(argc, argv, spec.options))
        return HostUsageError(spec.name, args.Error());
    if (args.Has("--help")) {
        std::printf("usage: V77Host %s\n", spec.usage);
        std::fflush(stdout);
        return kHostExitOk;
    }
    const size_t count = args.Positionals().size();
    if (count < spec.minPositionals)
        return HostUsageError(spec.name, "missing argument");
    if (count > spec.maxPositionals)
        return HostUsageError(spec.name, "unexpected argument \"" + args.Positionals()[spec.maxPositionals] + "\"");
    line->durationSeconds = spec.defaultDuration;
    if (!args.Number("--duration", 0.1, 86400, &line->durationSeconds))
        return HostUsageError(spec.name, args.Error());
    if (args.Has("--screenshot")) {
        line->screenshot = HostPath(args.Value("--screenshot"));
        if (line->screenshot.empty())
            return HostUsageError(spec.name, "--screenshot needs a file name");
    }
    return -1;
}

int HostUsageError(const char* command, const std::string& message)
{
    std::fprintf(stderr, "V77Host %s: %s (see V77Host %s --help)\n", command, message.c_str(), command);
    std::fflush(stderr);
    return kHostExitUsage;
}

int HostFailure(const char* command, const std::string& what, HRESULT hr)
{
    return HostFailure(command, what + ": " + HResultMeaning(hr));
}

int HostFailure(const char* command, const std::string& message)
{
    std::fflush(stdout);
    std::fprintf(stderr, "V77Host %s: %s\n", command, message.c_str());
    std::fflush(stderr);
    return kHostExitFailure;
}

std::wstring Widen(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    const int size = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(size > 0 ? size : 1), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], size);
    wide.resize(static_cast<size_t>(size > 0 ? size - 1 : 0));
    return wide;
}

std::wstring HostPath(const std::string& text)
{
    if (text.empty() || text[0] != '/')
        return Widen(text);
    std::wstring path = L"Z:" + Widen(text);
    for (wchar_t& c : path)
        c = c == L'/' ? L'\\' : c;
    return path;
}

bool WriteWholeFile(const std::wstring& path, const BYTE* data, DWORD size)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, data, size, &written, nullptr);
    CloseHandle(file);
    return ok && written == size;
}
