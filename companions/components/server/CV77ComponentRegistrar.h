// The COM server keys of the components under HKEY_CLASSES_ROOT:
//   CLSID\{clsid}                  default = the component's name
//   CLSID\{clsid}\InprocServer32   default = this module's full path,
//                                  ThreadingModel = "Both"
#pragma once

#include <windows.h>

#include "framework/CFactoryTemplate.h"

class CV77ComponentRegistrar {
public:
    // Writes the keys of every row; the first failure is returned.
    static HRESULT RegisterAll(const CFactoryTemplate* rows, int count);
    // Deletes every row's CLSID key with its subkeys; missing keys are fine.
    static HRESULT UnregisterAll(const CFactoryTemplate* rows, int count);

private:
    static HRESULT Register(const CFactoryTemplate& row, const char* modulePath);
    static HRESULT Unregister(const CFactoryTemplate& row);
    // Depth first: a key's subkeys go before the key itself.
    static LONG DeleteTree(HKEY parent, const char* name);
    static HRESULT ClsidKeyName(const CLSID& clsid, char* name, size_t size);
    static HRESULT ModulePath(char* path, DWORD size);
};
