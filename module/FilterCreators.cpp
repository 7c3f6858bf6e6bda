#include "module/FilterCreators.h"

#include "audio/CAudioMuteFilter.h"
#include "audio/CV77TcpAudioRendererFilter.h"
#include "audio/CV77TcpAudioSourceFilter.h"
#include "audio/CV77UdpAudioSourceFilter.h"
#include "buffer/CV77DsBufferFilter.h"
#include "display/CV77DxRenderer.h"
#include "display/CV77JpegRenderer.h"
#include "display/CV77WindowsRenderer.h"
#include "module/FilterCreation.h"
#include "sinks/CV77DsOverlayRendererFilter.h"
#include "sources/CV77WindowSpyFilter.h"
#include "sinks/CV77DsAviFileRendererFilter.h"
#include "transform/CV77ResizeFilter.h"
#include "sinks/CV77DsNetworkRendererFilter.h"
#include "sources/CV77DsARCLocalFilter.h"
#include "sources/CV77DsARCSourceFilter.h"
#include "sources/CV77DsARCSourceFilterAVI.h"
#include "sources/CV77DsARCSourceFilterTcp.h"
#include "sources/CV77DsAviSourceFilter.h"
#include "sources/CV77DsLocalSourceFilter.h"
#include "sources/CV77DsNetworkSourceFilter.h"
#include "sources/CV77DsTcpSourceFilter.h"
#include "sources/CV77PushSourceFilter.h"
#include "sinks/CV77DsImageRendererFilter.h"

// Each row answers E_NOTIMPL until its filter is built. To make a row
// creatable, include the filter's header and replace the row's body, e.g.
//     return CreateFilterObject<CV77DsBufferFilter>("Varnokel77 buffer filter", outer, phr);
// (or CreateUnnamedFilterObject<T>, or the filter's own CreateInstance), and
// link its library in module/CMakeLists.txt.

// 0: CV77DsBufferFilter, object name "Varnokel77 buffer filter"
CUnknown* CreateBufferFilter(LPUNKNOWN outer, HRESULT* phr)
{
    return CV77DsBufferFilter::CreateInstance(outer, phr);
}

// 1: CV77DsNetworkRendererFilter, object name "Varnokel77 Network renderer filter"
CUnknown* CreateNetworkRenderer(LPUNKNOWN outer, HRESULT* phr)
{
    return CV77DsNetworkRendererFilter::CreateInstance(outer, phr);
}

// 2: CV77DsNetworkSourceFilter, object name "Varnokel77 Network source filter"
CUnknown* CreateNetworkSource(LPUNKNOWN outer, HRESULT* phr)
{
    return CreateFilterObject<CV77DsNetworkSourceFilter>("Varnokel77 Network source filter", outer, phr);
}

// 3: CV77DsAviFileRendererFilter, object name "Varnokel77 Avi file renderer filter"
CUnknown* CreateAviFileRenderer(LPUNKNOWN outer, HRESULT* phr)
{
    return CreateFilterObject<CV77DsAviFileRendererFilter>("Varnokel77 Avi file renderer filter", outer, phr);
}

// 4: CV77DsARCSourceFilter, object name "Varnokel77 Archive source filter"
CUnknown* CreateArchiveSource(LPUNKNOWN outer, HRESULT* phr)
{
    return CreateFilterObject<CV77DsARCSourceFilter>("Varnokel77 Archive source filter", outer, phr);
}

// 5: CV77DsARCLocalFilter, object name "Varnokel77 Archive local source filter"
CUnknown* CreateArchiveLocalSource(LPUNKNOWN outer, HRESULT* phr)
{
    return CreateFilterObject<CV77DsARCLocalFilter>("Varnokel77 Archive local source filter", outer, phr);
}

// 6: CV77DsLocalSourceFilter, object name "Varnokel77 Local Live source filter"
CUnknown* CreateLocalLiveSource(LPUNKNOWN outer, HRESULT* phr)
{
    return CreateFilterObject<CV77DsLocalSourceFilter>("Varnokel77 Local Live source filter", outer, phr);
}

// 7: CV77DsOverlayRendererFilter, object name "Varnokel77 Overlay renderer filter"
CUnknown* CreateOverlayRenderer(LPUNKNOWN outer, HRESULT* phr)
{
    return CV77DsOverlayRendererFilter::CreateInstance(outer, phr);
}

// 8: CV77DxRenderer, object name "Varnokel77 Direct Draw Overlay renderer"
CUnknown* CreateDirectDrawRenderer(LPUNKNOWN outer, HRESULT* phr)
{
    return CV77DxRenderer::CreateInstance(outer, phr);
}

// 9: CV77JpegRenderer, object name "Varnokel77 Jpeg renderer"
CUnknown* CreateJpegRenderer(LPUNKNOWN outer, HRESULT* phr)
{
    return CV77JpegRenderer::CreateInstance(outer, phr);
}

// 10: CV77WindowsRenderer, object name "Varnokel77 GDI renderer"
CUnknown* CreateGdiRenderer(LPUNKNOWN outer, HRESULT* phr)
{
    return CV77WindowsRenderer::CreateInstance(outer, phr);
}

// 11: CV77DsImageRendererFilter, object name "Varnokel77 Image renderer filter"
CUnknown* CreateImageRenderer(LPUNKNOWN outer, HRESULT* phr)
{
    return CV77DsImageRendererFilter::CreateInstance(outer, phr);
}

// 12: CV77DsARCSourceFilterAVI, object name "Varnokel77 Archive source filter"
CUnknown* CreateArchiveSourceAvi(LPUNKNOWN outer, HRESULT* phr)
{
    return CreateFilterObject<CV77DsARCSourceFilterAVI>("Varnokel77 Archive source filter", outer, phr);
}

// 13: CV77DsARCSourceFilterTcp, object name "Varnokel77 Archive source filter"
CUnknown* CreateArchiveSourceTcp(LPUNKNOWN outer, HRESULT* phr)
{
    return CreateFilterObject<CV77DsARCSourceFilterTcp>("Varnokel77 Archive source filter", outer, phr);
}

// 14: CV77UdpAudioSourceFilter, object name "Varnokel77 Audio source filter"
CUnknown* CreateUdpAudioSource(LPUNKNOWN outer, HRESULT* phr)
{
    return CV77UdpAudioSourceFilter::CreateInstance(outer, phr);
}

// 15: CV77TcpAudioSourceFilter, object name "Varnokel77 TCP Audio source filter"
CUnknown* CreateTcpAudioSource(LPUNKNOWN outer, HRESULT* phr)
{
    return CV77TcpAudioSourceFilter::CreateInstance(outer, phr);
}

// 16: CV77TcpAudioRendererFilter, object name "Varnokel77 TCP Audio renderer filter"
CUnknown* CreateTcpAudioRenderer(LPUNKNOWN outer, HRESULT* phr)
{
    return CV77TcpAudioRendererFilter::CreateInstance(outer, phr);
}

// 17: CV77DsAviSourceFilter, object name "Varnokel77 AVI file source filter"
CUnknown* CreateAviSource(LPUNKNOWN outer, HRESULT* phr)
{
    return CreateFilterObject<CV77DsAviSourceFilter>("Varnokel77 AVI file source filter", outer, phr);
}

// 18: CV77PushSourceFilter, object name "Varnokel77 Push source filter"
CUnknown* CreatePushSource(LPUNKNOWN outer, HRESULT* phr)
{
    return CreateFilterObject<CV77PushSourceFilter>("Varnokel77 Push source filter", outer, phr);
}

// 19: CAudioMuteFilter, object name "Varnokel77 Audio Mute"
CUnknown* CreateAudioMute(LPUNKNOWN outer, HRESULT* phr)
{
    return CAudioMuteFilter::CreateInstance(outer, phr);
}

// 20: CV77DsTcpSourceFilter, object name "Varnokel77 TCP Network source filter"
CUnknown* CreateTcpSource(LPUNKNOWN outer, HRESULT* phr)
{
    return CreateFilterObject<CV77DsTcpSourceFilter>("Varnokel77 TCP Network source filter", outer, phr);
}

// 21: CV77ResizeFilter, constructor takes no object name
CUnknown* CreateResizeFilter(LPUNKNOWN outer, HRESULT* phr)
{
    return CreateUnnamedFilterObject<CV77ResizeFilter>(outer, phr);
}

// 22: CV77WindowSpyFilter, constructor takes no object name
CUnknown* CreateWindowSpy(LPUNKNOWN outer, HRESULT* phr)
{
    return CV77WindowSpyFilter::CreateInstance(outer, phr);
}
