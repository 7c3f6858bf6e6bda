#include "module/CV77RegKey.h"

#include <cstring>

namespace {

// Longest key name the module creates or expects beneath its keys.
const DWORD kMaxKeyName = MAX_PATH;

}  // namespace

LONG CV77RegKey::Create(HKEY parent, const char* subkey)
{
    Close();
    return RegCreateKeyExA(parent, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                           &m_hKey, nullptr);
}

LONG CV77RegKey::Open(HKEY parent, const char* subkey, REGSAM access)
{
    Close();
    return RegOpenKeyExA(parent, subkey, 0, access, &m_hKey);
}

LONG CV77RegKey::SetString(const char* name, const char* value)
{
    const DWORD size = static_cast<DWORD>(std::strlen(value) + 1);
    return RegSetValueExA(m_hKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), size);
}

void CV77RegKey::Close()
{
    if (m_hKey) {
        RegCloseKey(m_hKey);
        m_hKey = nullptr;
    }
}

LONG CV77RegKey::DeleteTree(HKEY parent, const char* subkey)
{
    CV77RegKey key;
    LONG err = key.Open(parent, subkey, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | DELETE);
    if (err == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (err != ERROR_SUCCESS)
        return err;

    // Always take the first child: deleting it shifts the enumeration.
    for (;;) {
        char child[kMaxKeyName + 1];
        DWORD length = kMaxKeyName + 1;
        err = RegEnumKeyExA(key.Get(), 0, child, &length, nullptr, nullptr, nullptr, nullptr);
        if (err == ERROR_NO_MORE_ITEMS)
            break;
        if (err != ERROR_SUCCESS)
            return err;
        err = DeleteTree(key.Get(), child);
        if (err != ERROR_SUCCESS)
            return err;
    }
    key.Close();
    err = RegDeleteKeyA(parent, subkey);
    return err == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : err;
}
