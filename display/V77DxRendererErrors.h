// Errors of the video renderers carry the renderers' source module name, and
// their COM methods catch at the boundary under the same name.
#pragma once

#include <windows.h>
#include "companions/V77Global/V77ErrorBoundary.h"

constexpr const char kV77DxRendererModule[] = "V77DxRenderer";

#define V77DX_THROW_HR(hr) throw CHresultError(kV77DxRendererModule, __LINE__, static_cast<long>(hr))

#define V77DX_THROW_WIN32()                                             \
    do {                                                                \
        const DWORD v77DxLastError_ = ::GetLastError();                 \
        throw CWin32Error(kV77DxRendererModule, __LINE__, v77DxLastError_); \
    } while (0)

#define V77DX_THROW_APP(message) throw CAppError(kV77DxRendererModule, __LINE__, (message))

#define V77DX_CHECK_HR(expression)          \
    do {                                    \
        const HRESULT v77DxHr_ = (expression); \
        if (FAILED(v77DxHr_))               \
            V77DX_THROW_HR(v77DxHr_);       \
    } while (0)

// The catch boundary of the renderers' host-facing methods.
#define V77DX_CATCH() V77_CATCH_BOUNDARY(kV77DxRendererModule)
#define V77DX_CATCH_RETURN(result) V77_CATCH_BOUNDARY_RETURN(kV77DxRendererModule, (result))
#define V77DX_CATCH_VOID() V77_CATCH_BOUNDARY_VOID(kV77DxRendererModule)
