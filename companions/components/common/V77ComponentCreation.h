// What every outside component's class factory entry does the same way:
// refuse aggregation, create the object without throwing, report memory.
#pragma once

#include <new>
#include <string>
#include <oleauto.h>
#include "framework/CUnknown.h"

// `make` runs inside the component's own CreateInstance (a lambda there), so
// constructors stay private to the class factory entry.
template <typename TMake>
CUnknown* CreateUnaggregated(LPUNKNOWN outer, HRESULT* phr, TMake make)
{
    if (outer) {
        *phr = CLASS_E_NOAGGREGATION;
        return nullptr;
    }
    CUnknown* component = make();
    if (!component)
        *phr = E_OUTOFMEMORY;
    return component;
}

// An Open string for log lines and host:port parsing; ASCII is all these
// strings carry, anything else shows as '?'.
inline std::string NarrowText(BSTR text)
{
    std::string out;
    for (UINT i = 0; text && i < SysStringLen(text); ++i)
        out += text[i] < 128 ? static_cast<char>(text[i]) : '?';
    return out;
}
