// Errors and catch boundaries of the window spy source.
#pragma once

#include <windows.h>
#include "companions/V77Global/V77ErrorBoundary.h"

constexpr const char kV77WindowSpyModule[] = "V77WindowSpy";

#define V77SPY_THROW_HR(hr) throw CHresultError(kV77WindowSpyModule, __LINE__, static_cast<long>(hr))
#define V77SPY_THROW_APP(message) throw CAppError(kV77WindowSpyModule, __LINE__, (message))

#define V77SPY_CHECK_HR(expression)             \
    do {                                        \
        const HRESULT v77SpyHr_ = (expression); \
        if (FAILED(v77SpyHr_))                  \
            V77SPY_THROW_HR(v77SpyHr_);         \
    } while (0)
