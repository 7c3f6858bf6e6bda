// Throwing the companion errors with their source location, and catching
// them at a COM boundary in the documented two steps:
//   1. a CExceptionBase: logs "<message> - handler <module> line <n>" and
//      gives the exception's HRESULT;
//   2. anything else: logs "<UTC time>: thread <id> Unhandled Exception -
//      handler <module> line <n>" and gives the caller's fallback.
//
//   STDMETHODIMP CV77Example::Method()
//   {
//       try {
//           V77_CHECK_HR(m_pSurface->Flip(nullptr, 0));
//       }
//       V77_CATCH_BOUNDARY("V77DxRenderer")            // or V77_CATCH_BOUNDARY_RETURN(.., E_FAIL)
//       return S_OK;
//   }
#pragma once

#include <windows.h>

#include "companions/V77Global/CAppError.h"
#include "companions/V77Global/CHresultError.h"
#include "companions/V77Global/CWin32Error.h"

// Call only inside a catch handler: rethrows the exception in flight to tell
// the two kinds apart. Returns the exception's HRESULT, or unknownResult for
// anything that is not a CExceptionBase. Never throws.
HRESULT V77HandleException(const char* module, int line, HRESULT unknownResult = E_FAIL) noexcept;

#define V77_THROW_HR(hr) throw CHresultError(__FILE__, __LINE__, static_cast<long>(hr))
#define V77_THROW_APP(message) throw CAppError(__FILE__, __LINE__, (message))
#define V77_THROW_WIN32()                                       \
    do {                                                        \
        const DWORD v77LastError_ = ::GetLastError();           \
        throw CWin32Error(__FILE__, __LINE__, v77LastError_);   \
    } while (0)

// Throws CHresultError when the expression gives a failure code.
#define V77_CHECK_HR(expression)                                \
    do {                                                        \
        const HRESULT v77Hr_ = (expression);                    \
        if (FAILED(v77Hr_))                                     \
            V77_THROW_HR(v77Hr_);                               \
    } while (0)

// Returns the exception's HRESULT (E_FAIL for unknown exceptions).
#define V77_CATCH_BOUNDARY(module) \
    catch (...) { return V77HandleException((module), __LINE__); }

// Logs as above but always returns result.
#define V77_CATCH_BOUNDARY_RETURN(module, result) \
    catch (...) { V77HandleException((module), __LINE__); return (result); }

// Logs as above, for handlers that return nothing.
#define V77_CATCH_BOUNDARY_VOID(module) \
    catch (...) { V77HandleException((module), __LINE__); }
