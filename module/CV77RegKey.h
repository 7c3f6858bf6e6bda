// Owns one open registry key and closes it on every path out. The module
// writes its COM keys with the ANSI registry calls, so names are char strings.
#pragma once

#include <windows.h>

class CV77RegKey {
public:
    CV77RegKey() = default;
    CV77RegKey(const CV77RegKey&) = delete;
    CV77RegKey& operator=(const CV77RegKey&) = delete;
    ~CV77RegKey() { Close(); }

    // Both return a Win32 error code (ERROR_SUCCESS on success).
    LONG Create(HKEY parent, const char* subkey);
    LONG Open(HKEY parent, const char* subkey, REGSAM access);

    // Writes a REG_SZ value; a null name writes the key's default value.
    LONG SetString(const char* name, const char* value);

    HKEY Get() const { return m_hKey; }
    void Close();

    // Deletes parent\subkey with all its subkeys, each subkey's own subkeys
    // first. A key that does not exist is not an error.
    static LONG DeleteTree(HKEY parent, const char* subkey);

private:
    HKEY m_hKey = nullptr;
};
