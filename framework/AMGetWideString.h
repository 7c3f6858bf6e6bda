// Copies a wide string into task-allocator memory, as IPin::QueryId and
// similar methods hand strings to their callers.
#pragma once

#include <windows.h>

HRESULT AMGetWideString(LPCWSTR source, LPWSTR* copy);
