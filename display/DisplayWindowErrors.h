// Errors of the DirectDraw device and the display window carry their own
// source module name, so a log line tells them from the renderer's.
#pragma once

#include <windows.h>
#include "companions/V77Global/V77ErrorBoundary.h"

constexpr const char kDisplayWindowModule[] = "Common/DisplayWindow";

#define V77DW_THROW_HR(hr) throw CHresultError(kDisplayWindowModule, __LINE__, static_cast<long>(hr))

#define V77DW_THROW_WIN32()                                                   \
    do {                                                                      \
        const DWORD v77DwLastError_ = ::GetLastError();                       \
        throw CWin32Error(kDisplayWindowModule, __LINE__, v77DwLastError_);   \
    } while (0)

#define V77DW_THROW_APP(message) throw CAppError(kDisplayWindowModule, __LINE__, (message))

#define V77DW_CHECK_HR(expression)             \
    do {                                       \
        const HRESULT v77DwHr_ = (expression); \
        if (FAILED(v77DwHr_))                  \
            V77DW_THROW_HR(v77DwHr_);          \
    } while (0)
