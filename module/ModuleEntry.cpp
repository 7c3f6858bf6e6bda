#include "module/ModuleEntry.h"

#include <new>
#include "module/CClassFactory.h"

HINSTANCE g_hInst = nullptr;
DWORD g_dwOsMajorVersion = 1;

namespace {

DWORD QueryOsMajorVersion()
{
    OSVERSIONINFOA info = {};
    static_assert(sizeof(info) == 148, "the ANSI version record is 148 bytes");
    info.dwOSVersionInfoSize = sizeof(info);
    return GetVersionExA(&info) ? info.dwMajorVersion : 1;
}

void CallInitRoutines(const CFactoryTemplate* templates, int count, BOOL loading)
{
    for (int i = 0; i < count; ++i) {
        if (templates[i].m_lpfnInit)
            templates[i].m_lpfnInit(loading, templates[i].m_ClsID);
    }
}

const CFactoryTemplate* FindTemplate(const CFactoryTemplate* templates, int count, REFCLSID rclsid)
{
    for (int i = 0; i < count; ++i) {
        if (templates[i].IsClassID(rclsid))
            return &templates[i];
    }
    return nullptr;
}

}  // namespace

void V77ModuleAttach(HINSTANCE hInstance, const CFactoryTemplate* templates, int count)
{
    g_dwOsMajorVersion = QueryOsMajorVersion();
    g_hInst = hInstance;
    CallInitRoutines(templates, count, TRUE);
}

void V77ModuleDetach(const CFactoryTemplate* templates, int count)
{
    CallInitRoutines(templates, count, FALSE);
}

HRESULT V77GetClassObject(const CFactoryTemplate* templates, int count, REFCLSID rclsid, REFIID riid,
                          void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IClassFactory)
        return E_NOINTERFACE;
    const CFactoryTemplate* entry = FindTemplate(templates, count, rclsid);
    if (!entry)
        return CLASS_E_CLASSNOTAVAILABLE;

    CClassFactory* factory = new (std::nothrow) CClassFactory(entry);
    if (!factory)
        return E_OUTOFMEMORY;
    factory->AddRef();
    *ppv = static_cast<IClassFactory*>(factory);
    return S_OK;
}

HRESULT V77CanUnloadNow()
{
    return CClassFactory::IsLocked() || CBaseObject::ObjectsActive() != 0 ? S_FALSE : S_OK;
}
