#include "module/CV77ComServerKeys.h"

#include <cstdio>
#include "module/CV77RegKey.h"

namespace {

const int kGuidChars = 39;  // "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" and its terminator

HRESULT FromRegistryError(LONG err)
{
    return err == ERROR_SUCCESS ? S_OK : static_cast<HRESULT>(0x80070000u | static_cast<DWORD>(err));
}

// "CLSID\{...}" for the class, in ANSI.
void ClassKeyName(const CLSID& clsid, char (&name)[MAX_PATH])
{
    WCHAR wide[kGuidChars];
    StringFromGUID2(clsid, wide, kGuidChars);
    char guid[kGuidChars] = {};
    WideCharToMultiByte(CP_ACP, 0, wide, -1, guid, kGuidChars, nullptr, nullptr);
    std::snprintf(name, sizeof(name), "CLSID\\%s", guid);
}

LONG WriteClassKey(const char* keyName, const WCHAR* displayName)
{
    char ansiName[MAX_PATH] = {};
    WideCharToMultiByte(CP_ACP, 0, displayName, -1, ansiName, sizeof(ansiName) - 1, nullptr, nullptr);
    CV77RegKey key;
    LONG err = key.Create(HKEY_CLASSES_ROOT, keyName);
    if (err == ERROR_SUCCESS)
        err = key.SetString(nullptr, ansiName);
    return err;
}

LONG WriteServerKey(const char* classKeyName, const char* modulePath)
{
    char keyName[MAX_PATH + 16];
    std::snprintf(keyName, sizeof(keyName), "%s\\InprocServer32", classKeyName);
    CV77RegKey key;
    LONG err = key.Create(HKEY_CLASSES_ROOT, keyName);
    if (err == ERROR_SUCCESS)
        err = key.SetString(nullptr, modulePath);
    if (err == ERROR_SUCCESS)
        err = key.SetString("ThreadingModel", "Both");
    return err;
}

}  // namespace

HRESULT CV77ComServerKeys::Write(const CFactoryTemplate& entry) const
{
    char keyName[MAX_PATH];
    ClassKeyName(*entry.m_ClsID, keyName);
    LONG err = WriteClassKey(keyName, entry.m_Name);
    if (err == ERROR_SUCCESS)
        err = WriteServerKey(keyName, m_pModulePath);
    return FromRegistryError(err);
}

HRESULT CV77ComServerKeys::Remove(const CFactoryTemplate& entry) const
{
    char keyName[MAX_PATH];
    ClassKeyName(*entry.m_ClsID, keyName);
    return FromRegistryError(CV77RegKey::DeleteTree(HKEY_CLASSES_ROOT, keyName));
}
