// A failed Win32 call. Construct it right after the call: the two-argument
// constructor reads GetLastError before anything else can overwrite it.
#pragma once

#include "companions/V77Global/CExceptionBase.h"

class CWin32Error : public CExceptionBase {
public:
    CWin32Error(const char* file, int line);
    // For callers that captured the code themselves (V77_THROW_WIN32 does, so
    // the allocation of the thrown object cannot disturb it).
    CWin32Error(const char* file, int line, DWORD error);

    // The error code captured at construction (0 when none was set).
    DWORD GetErrorCode() const { return m_dwError; }

private:
    DWORD m_dwError;
};
