// Errors of the overlay renderer carry its source module name, and its COM
// methods catch at the boundary under the same name.
#pragma once

#include <windows.h>
#include "companions/V77Global/V77ErrorBoundary.h"

constexpr const char kV77OverlayModule[] = "V77DsOverlay";

#define V77OV_THROW_WIN32()                                              \
    do {                                                                 \
        const DWORD v77OvLastError_ = ::GetLastError();                  \
        throw CWin32Error(kV77OverlayModule, __LINE__, v77OvLastError_); \
    } while (0)

#define V77OV_CATCH() V77_CATCH_BOUNDARY(kV77OverlayModule)
