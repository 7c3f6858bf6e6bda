// The module's four exports and its entry point, over the filter table.
#include <windows.h>
#include "module/FilterRegistration.h"
#include "module/FilterTable.h"
#include "module/ModuleEntry.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(hInstance);
        V77ModuleAttach(hInstance, g_Templates, g_cTemplates);
    } else if (reason == DLL_PROCESS_DETACH) {
        V77ModuleDetach(g_Templates, g_cTemplates);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv)
{
    return V77GetClassObject(g_Templates, g_cTemplates, rclsid, riid, ppv);
}

STDAPI DllCanUnloadNow()
{
    return V77CanUnloadNow();
}

STDAPI DllRegisterServer()
{
    return V77RegisterFilters(g_hInst, g_Templates, g_cTemplates, TRUE);
}

STDAPI DllUnregisterServer()
{
    return V77RegisterFilters(g_hInst, g_Templates, g_cTemplates, FALSE);
}
