// Loads the module DLL that sits beside the test program and resolves its
// four exports; unloads it again on destruction.
#pragma once

#include <windows.h>
#include <string>

class CModuleDll {
public:
    typedef HRESULT(STDAPICALLTYPE* GetClassObjectFn)(REFCLSID, REFIID, void**);
    typedef HRESULT(STDAPICALLTYPE* EntryFn)();

    CModuleDll();
    CModuleDll(const CModuleDll&) = delete;
    CModuleDll& operator=(const CModuleDll&) = delete;
    ~CModuleDll();

    bool Loaded() const { return m_hModule && GetClassObject && CanUnloadNow && RegisterServer && UnregisterServer; }
    // The module's full file name as the loader reports it.
    std::string Path() const;

    GetClassObjectFn GetClassObject = nullptr;
    EntryFn CanUnloadNow = nullptr;
    EntryFn RegisterServer = nullptr;
    EntryFn UnregisterServer = nullptr;

private:
    HMODULE m_hModule = nullptr;
};
