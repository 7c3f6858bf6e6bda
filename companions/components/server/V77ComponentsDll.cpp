// Entry points of V77Components.dll.
#include <windows.h>
#include <unknwn.h>

#include <new>

#include "companions/components/server/CV77ComponentFactory.h"
#include "companions/components/server/CV77ComponentRegistrar.h"
#include "companions/components/server/V77ComponentTable.h"
#include "framework/CBaseObject.h"

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        DisableThreadLibraryCalls(instance);
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IClassFactory)
        return E_NOINTERFACE;
    const CFactoryTemplate* row = FindComponentTemplate(clsid);
    if (!row)
        return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) CV77ComponentFactory(row);
    if (!factory)
        return E_OUTOFMEMORY;
    return factory->QueryInterface(riid, ppv);
}

STDAPI DllCanUnloadNow()
{
    return (CV77ComponentFactory::IsLocked() || CBaseObject::ObjectsActive() != 0) ? S_FALSE : S_OK;
}

STDAPI DllRegisterServer()
{
    return CV77ComponentRegistrar::RegisterAll(g_ComponentTemplates, g_cComponentTemplates);
}

STDAPI DllUnregisterServer()
{
    return CV77ComponentRegistrar::UnregisterAll(g_ComponentTemplates, g_cComponentTemplates);
}

}  // extern "C"
