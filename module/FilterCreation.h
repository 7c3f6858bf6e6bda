// Building blocks of the filter table's creators.
#pragma once

#include <new>
#include <windows.h>
#include "framework/CUnknown.h"

// Creator of a row whose filter is not built yet.
inline CUnknown* CreateNotBuilt(LPUNKNOWN, HRESULT* phr)
{
    *phr = E_NOTIMPL;
    return nullptr;
}

// The usual creator: a non-throwing allocation of T(name, outer, phr). The
// constructor may store a failure in *phr; the class factory then destroys it.
template <class T>
CUnknown* CreateFilterObject(const char* name, LPUNKNOWN outer, HRESULT* phr)
{
    *phr = S_OK;
    T* object = new (std::nothrow) T(name, outer, phr);
    if (!object)
        *phr = E_OUTOFMEMORY;
    return object;
}

// For filters whose constructor takes no object name.
template <class T>
CUnknown* CreateUnnamedFilterObject(LPUNKNOWN outer, HRESULT* phr)
{
    *phr = S_OK;
    T* object = new (std::nothrow) T(outer, phr);
    if (!object)
        *phr = E_OUTOFMEMORY;
    return object;
}
