// Small steps the demo graphs share: module filters by CLSID, and a check
// that prints what failed.
#pragma once

#include <cstdio>
#include <objbase.h>
#include <wrl/client.h>
#include "tools/V77Host/HostText.h"

template <typename T>
HRESULT CreateModuleFilter(const CLSID& clsid, Microsoft::WRL::ComPtr<T>& out)
{
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(T),
                            reinterpret_cast<void**>(out.ReleaseAndGetAddressOf()));
}

inline bool CheckStep(const char* what, HRESULT hr)
{
    if (FAILED(hr))
        std::printf("  %s: %s\n", what, HResultText(hr).c_str());
    return SUCCEEDED(hr);
}
