#include "framework/AMGetWideString.h"

#include <cwchar>
#include <objbase.h>

HRESULT AMGetWideString(LPCWSTR source, LPWSTR* copy)
{
    if (!copy)
        return E_POINTER;
    *copy = nullptr;
    if (!source)
        source = L"";
    size_t bytes = (wcslen(source) + 1) * sizeof(WCHAR);
    *copy = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (!*copy)
        return E_OUTOFMEMORY;
    memcpy(*copy, source, bytes);
    return S_OK;
}
