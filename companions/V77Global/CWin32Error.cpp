#include "companions/V77Global/CWin32Error.h"

#include <cstdio>

#include "companions/V77Global/CHresultError.h"

namespace {

std::string DescribeWin32(DWORD error, HRESULT hr)
{
    char code[32];
    snprintf(code, sizeof code, "Win32 error %lu", static_cast<unsigned long>(error));
    return std::string(code) + " (" + CHresultError::Describe(hr) + ")";
}

// ERROR_SUCCESS would map to S_OK; a thrown error must stay a failure.
HRESULT Win32Result(DWORD error)
{
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

}  // namespace

CWin32Error::CWin32Error(const char* file, int line) : CWin32Error(file, line, GetLastError())
{
}

CWin32Error::CWin32Error(const char* file, int line, DWORD error)
    : CExceptionBase(file, line, Win32Result(error), DescribeWin32(error, Win32Result(error))), m_dwError(error)
{
}
