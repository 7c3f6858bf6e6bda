#include "tools/V77Soak/SoakProbe.h"

#include <psapi.h>
#include <cstdio>

#include "tests/buffer/ProcessHandleCount.h"

namespace {

HRESULT CanUnload(const wchar_t* dll)
{
    HMODULE module = GetModuleHandleW(dll);
    if (!module)
        return S_OK;
    using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
    auto call = reinterpret_cast<CanUnloadNow>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    return call ? call() : E_NOINTERFACE;
}

}  // namespace

SoakProbe SoakProbe::Take()
{
    SoakProbe probe;
    probe.handles = ProcessHandleCount();
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory))
        // Wine leaves PrivateUsage at 0; the pagefile usage is the same private commit.
        probe.privateBytes = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
    probe.moduleObjects = CanUnload(L"V77DsBuffer.dll");
    probe.componentObjects = CanUnload(L"V77Components.dll");
    return probe;
}

std::string SoakProbe::Text() const
{
    char text[200];
    std::snprintf(text, sizeof text, "handles %lu, private %.1f MB, module objects %s, component objects %s",
                  handles, privateBytes / 1048576.0, moduleObjects == S_OK ? "none" : "ALIVE",
                  componentObjects == S_OK ? "none" : "ALIVE");
    return text;
}
