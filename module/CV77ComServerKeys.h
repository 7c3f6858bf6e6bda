// The COM in-process server keys of the module's classes under
// HKEY_CLASSES_ROOT\CLSID: display name, server path and threading model.
#pragma once

#include <windows.h>
#include "framework/CFactoryTemplate.h"

class CV77ComServerKeys {
public:
    // modulePath: the server's full ANSI file name; must outlive this object.
    explicit CV77ComServerKeys(const char* modulePath) : m_pModulePath(modulePath) {}

    // Both return S_OK or 0x80070000 | the registry error.
    HRESULT Write(const CFactoryTemplate& entry) const;
    HRESULT Remove(const CFactoryTemplate& entry) const;

private:
    const char* const m_pModulePath;
};
