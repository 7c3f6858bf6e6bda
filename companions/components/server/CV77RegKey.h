// An open registry key that closes itself.
#pragma once

#include <windows.h>

class CV77RegKey {
public:
    CV77RegKey() : m_hKey(nullptr) {}
    ~CV77RegKey()
    {
        if (m_hKey)
            RegCloseKey(m_hKey);
    }
    CV77RegKey(const CV77RegKey&) = delete;
    CV77RegKey& operator=(const CV77RegKey&) = delete;

    LONG Create(HKEY parent, const char* name)
    {
        return RegCreateKeyExA(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &m_hKey,
                               nullptr);
    }
    LONG Open(HKEY parent, const char* name, REGSAM access)
    {
        return RegOpenKeyExA(parent, name, 0, access, &m_hKey);
    }
    // A null name writes the default value.
    LONG SetString(const char* name, const char* value)
    {
        return RegSetValueExA(m_hKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                              static_cast<DWORD>(lstrlenA(value) + 1));
    }
    HKEY Get() const { return m_hKey; }

private:
    HKEY m_hKey;
};
