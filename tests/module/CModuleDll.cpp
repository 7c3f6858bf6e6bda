#include "tests/module/CModuleDll.h"

namespace {

std::string ProgramFolder()
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

template <class Fn>
Fn Resolve(HMODULE module, const char* name)
{
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

}  // namespace

CModuleDll::CModuleDll() : m_hModule(LoadLibraryA((ProgramFolder() + "V77DsBuffer.dll").c_str()))
{
    GetClassObject = Resolve<GetClassObjectFn>(m_hModule, "DllGetClassObject");
    CanUnloadNow = Resolve<EntryFn>(m_hModule, "DllCanUnloadNow");
    RegisterServer = Resolve<EntryFn>(m_hModule, "DllRegisterServer");
    UnregisterServer = Resolve<EntryFn>(m_hModule, "DllUnregisterServer");
}

CModuleDll::~CModuleDll()
{
    if (m_hModule)
        FreeLibrary(m_hModule);
}

std::string CModuleDll::Path() const
{
    char path[MAX_PATH];
    const DWORD length = m_hModule ? GetModuleFileNameA(m_hModule, path, MAX_PATH) : 0;
    return std::string(path, length);
}
