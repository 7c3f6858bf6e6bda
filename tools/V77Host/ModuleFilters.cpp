#include "tools/V77Host/ModuleFilters.h"

#include "v77/V77Guids.h"

namespace {

const ModuleFilter kFilters[] = {
    {&CLSID_V77DsBufferFilter, "CV77DsBufferFilter"},
    {&CLSID_V77DsNetworkRenderer, "CV77DsNetworkRendererFilter"},
    {&CLSID_V77DsNetworkSource, "CV77DsNetworkSourceFilter"},
    {&CLSID_V77DsAviFileRenderer, "CV77DsAviFileRendererFilter"},
    {&CLSID_V77DsARCSource, "CV77DsARCSourceFilter"},
    {&CLSID_V77DsARCLocalSource, "CV77DsARCLocalFilter"},
    {&CLSID_V77DsLocalSource, "CV77DsLocalSourceFilter"},
    {&CLSID_V77DsOverlayRenderer, "CV77DsOverlayRendererFilter"},
    {&CLSID_V77DxRenderer, "CV77DxRenderer"},
    {&CLSID_V77JpegRenderer, "CV77JpegRenderer"},
    {&CLSID_V77WindowsRenderer, "CV77WindowsRenderer"},
    {&CLSID_V77DsImageRenderer, "CV77DsImageRendererFilter"},
    {&CLSID_V77DsARCSourceAVI, "CV77DsARCSourceFilterAVI"},
    {&CLSID_V77DsARCSourceTcp, "CV77DsARCSourceFilterTcp"},
    {&CLSID_V77UdpAudioSource, "CV77UdpAudioSourceFilter"},
    {&CLSID_V77TcpAudioSource, "CV77TcpAudioSourceFilter"},
    {&CLSID_V77TcpAudioRenderer, "CV77TcpAudioRendererFilter"},
    {&CLSID_V77DsAviSource, "CV77DsAviSourceFilter"},
    {&CLSID_V77PushSource, "CV77PushSourceFilter"},
    {&CLSID_V77AudioMute, "CAudioMuteFilter"},
    {&CLSID_V77DsTcpSource, "CV77DsTcpSourceFilter"},
    {&CLSID_V77ResizeFilter, "CV77ResizeFilter"},
    {&CLSID_V77WindowSpy, "CV77WindowSpyFilter"},
};

}  // namespace

const ModuleFilter* ModuleFilters(size_t* count)
{
    *count = sizeof(kFilters) / sizeof(kFilters[0]);
    return kFilters;
}

const ModuleFilter* FindModuleFilter(const CLSID& clsid)
{
    for (const ModuleFilter& filter : kFilters) {
        if (*filter.clsid == clsid)
            return &filter;
    }
    return nullptr;
}
