// What the soak run watches for leaks: the process's handles, its private
// memory and whether the module and components still hold live objects.
#pragma once

#include <windows.h>
#include <string>

struct SoakProbe {
    DWORD handles = 0;
    SIZE_T privateBytes = 0;
    // DllCanUnloadNow of V77DsBuffer.dll and V77Components.dll: S_OK when no
    // object of theirs is alive (S_OK too while a DLL is not loaded yet).
    HRESULT moduleObjects = S_OK;
    HRESULT componentObjects = S_OK;

    static SoakProbe Take();
    std::string Text() const;
};
