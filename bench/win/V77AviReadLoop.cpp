#include "bench/win/V77AviReadLoop.h"

#include <vfw.h>
#include <vector>

LONGLONG V77ProcessCpu100ns()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto value = [](const FILETIME& t) {
        return static_cast<LONGLONG>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return value(kernel) + value(user);
}

V77AviReadFigures V77ReadAviFramesFor(const std::wstring& path, DWORD windowMs)
{
    V77AviReadFigures figures;
    AVIFileInit();
    PAVIFILE file = nullptr;
    PAVISTREAM stream = nullptr;
    if (SUCCEEDED(AVIFileOpenW(&file, path.c_str(), OF_READ | OF_SHARE_DENY_WRITE, nullptr)) &&
        SUCCEEDED(AVIFileGetStream(file, &stream, streamtypeVIDEO, 0))) {
        const LONG first = AVIStreamStart(stream);
        const LONG end = first + AVIStreamLength(stream);
        LONG needed = 0;
        AVIStreamRead(stream, first, 1, nullptr, 0, &needed, nullptr);
        std::vector<BYTE> frame(static_cast<size_t>(needed > 0 ? needed : 1));
        const LONGLONG cpuBefore = V77ProcessCpu100ns();
        const ULONGLONG start = GetTickCount64();
        for (LONG at = first; GetTickCount64() - start < windowMs; at = at + 1 < end ? at + 1 : first) {
            LONG bytes = 0;
            if (FAILED(AVIStreamRead(stream, at, 1, nullptr, 0, &needed, nullptr)) ||
                FAILED(AVIStreamRead(stream, at, 1, frame.data(), static_cast<LONG>(frame.size()), &bytes, nullptr)))
                break;
            ++figures.frames;
        }
        figures.seconds = static_cast<double>(GetTickCount64() - start) / 1000.0;
        figures.cpu100ns = V77ProcessCpu100ns() - cpuBefore;
    }
    if (stream)
        AVIStreamRelease(stream);
    if (file)
        AVIFileRelease(file);
    AVIFileExit();
    return figures;
}
