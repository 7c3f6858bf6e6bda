#include "companions/components/server/CV77ComponentRegistrar.h"

#include <cstdio>

#include "companions/components/server/CV77RegKey.h"

namespace {

HRESULT FromRegistry(LONG error)
{
    return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(error));
}

}  // namespace

HRESULT CV77ComponentRegistrar::RegisterAll(const CFactoryTemplate* rows, int count)
{
    char path[MAX_PATH];
    HRESULT hr = ModulePath(path, sizeof path);
    for (int i = 0; SUCCEEDED(hr) && i < count; ++i)
        hr = Register(rows[i], path);
    return hr;
}

HRESULT CV77ComponentRegistrar::UnregisterAll(const CFactoryTemplate* rows, int count)
{
    HRESULT result = S_OK;
    for (int i = 0; i < count; ++i) {
        HRESULT hr = Unregister(rows[i]);
        if (SUCCEEDED(result))
            result = hr;
    }
    return result;
}

HRESULT CV77ComponentRegistrar::Register(const CFactoryTemplate& row, const char* modulePath)
{
    char keyName[64];
    HRESULT hr = ClsidKeyName(*row.m_ClsID, keyName, sizeof keyName);
    if (FAILED(hr))
        return hr;
    char name[256];
    if (!WideCharToMultiByte(CP_ACP, 0, row.m_Name, -1, name, sizeof name, nullptr, nullptr))
        return HRESULT_FROM_WIN32(GetLastError());

    CV77RegKey clsidKey;
    LONG error = clsidKey.Create(HKEY_CLASSES_ROOT, keyName);
    if (error == ERROR_SUCCESS)
        error = clsidKey.SetString(nullptr, name);
    if (error != ERROR_SUCCESS)
        return FromRegistry(error);

    CV77RegKey serverKey;
    error = serverKey.Create(clsidKey.Get(), "InprocServer32");
    if (error == ERROR_SUCCESS)
        error = serverKey.SetString(nullptr, modulePath);
    if (error == ERROR_SUCCESS)
        error = serverKey.SetString("ThreadingModel", "Both");
    return FromRegistry(error);
}

HRESULT CV77ComponentRegistrar::Unregister(const CFactoryTemplate& row)
{
    char keyName[64];
    HRESULT hr = ClsidKeyName(*row.m_ClsID, keyName, sizeof keyName);
    if (FAILED(hr))
        return hr;
    LONG error = DeleteTree(HKEY_CLASSES_ROOT, keyName);
    return error == ERROR_FILE_NOT_FOUND ? S_OK : FromRegistry(error);
}

LONG CV77ComponentRegistrar::DeleteTree(HKEY parent, const char* name)
{
    {
        CV77RegKey key;
        LONG error = key.Open(parent, name, KEY_READ | KEY_WRITE);
        if (error != ERROR_SUCCESS)
            return error;
        char child[MAX_PATH + 1];
        for (;;) {
            // Always the first subkey: the one before was just deleted.
            DWORD length = sizeof child;
            error = RegEnumKeyExA(key.Get(), 0, child, &length, nullptr, nullptr, nullptr, nullptr);
            if (error == ERROR_NO_MORE_ITEMS)
                break;
            if (error == ERROR_SUCCESS)
                error = DeleteTree(key.Get(), child);
            if (error != ERROR_SUCCESS)
                return error;
        }
    }
    return RegDeleteKeyA(parent, name);
}

HRESULT CV77ComponentRegistrar::ClsidKeyName(const CLSID& clsid, char* name, size_t size)
{
    WCHAR text[40];
    if (!StringFromGUID2(clsid, text, 40))
        return E_UNEXPECTED;
    char ansi[40];
    if (!WideCharToMultiByte(CP_ACP, 0, text, -1, ansi, sizeof ansi, nullptr, nullptr))
        return HRESULT_FROM_WIN32(GetLastError());
    int written = snprintf(name, size, "CLSID\\%s", ansi);
    return (written > 0 && static_cast<size_t>(written) < size) ? S_OK : E_UNEXPECTED;
}

HRESULT CV77ComponentRegistrar::ModulePath(char* path, DWORD size)
{
    // The module that contains this code, not the host executable.
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&CV77ComponentRegistrar::ModulePath), &module))
        return HRESULT_FROM_WIN32(GetLastError());
    DWORD length = GetModuleFileNameA(module, path, size);
    if (length == 0 || length >= size)
        return HRESULT_FROM_WIN32(length ? ERROR_INSUFFICIENT_BUFFER : GetLastError());
    return S_OK;
}
