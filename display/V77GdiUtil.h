// Small helpers the GDI-drawn renderers share: rectangle sizes and the
// HRESULT of the last failed Win32 call.
#pragma once

#include <windows.h>

inline LONG WidthOf(const RECT& r)
{
    return r.right - r.left;
}

inline LONG HeightOf(const RECT& r)
{
    return r.bottom - r.top;
}

// HRESULT_FROM_WIN32 of GetLastError, E_FAIL when the call left no error code.
inline HRESULT LastErrorResult()
{
    const DWORD error = GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}
