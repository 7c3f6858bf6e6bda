#include "module/FilterTable.h"

#include <uuids.h>
#include "module/FilterCreators.h"
#include "v77/V77Guids.h"

namespace {

// The mapper's version-1 pin layout has non-const name pointers; it never
// writes through them.
constexpr LPWSTR PinName(const WCHAR* name)
{
    return const_cast<LPWSTR>(name);
}

// Media types.
const AMOVIESETUP_MEDIATYPE sudVideoAny[] = {{&MEDIATYPE_Video, &GUID_NULL}};
const AMOVIESETUP_MEDIATYPE sudVideoDx50[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_V77_DX50},
                                               {&MEDIATYPE_Video, &MEDIASUBTYPE_V77_dx50}};
const AMOVIESETUP_MEDIATYPE sudVideoSensors[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_V77_SENS},
                                                  {&MEDIATYPE_Video, &MEDIASUBTYPE_V77_SEN2}};
const AMOVIESETUP_MEDIATYPE sudAudioPcm[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_PCM}};
const AMOVIESETUP_MEDIATYPE sudAudioAny[] = {{&MEDIATYPE_Audio, &GUID_NULL}};

// One pin: name, rendered, output, zero, many, connects-to filter and pin, types.
template <UINT N>
constexpr AMOVIESETUP_PIN Pin(const WCHAR* name, BOOL rendered, BOOL output, const AMOVIESETUP_MEDIATYPE (&types)[N])
{
    return {PinName(name), rendered, output, FALSE, FALSE, &CLSID_NULL, nullptr, N, types};
}

// Pin descriptions; several rows share one.
const AMOVIESETUP_PIN sudBufferPins[] = {Pin(L"IN", FALSE, FALSE, sudVideoAny),  // rows 0 and 21
                                         Pin(L"OUT", FALSE, TRUE, sudVideoAny)};
const AMOVIESETUP_PIN sudNetworkRendererPin[] = {Pin(L"INPUT", TRUE, FALSE, sudVideoDx50)};
const AMOVIESETUP_PIN sudLiveSourcePin[] = {Pin(L"Network Live Source OUTPUT", FALSE, TRUE, sudVideoDx50)};
const AMOVIESETUP_PIN sudAviFileRendererPin[] = {Pin(L"INPUT", TRUE, FALSE, sudVideoDx50)};
const AMOVIESETUP_PIN sudOverlayRendererPin[] = {Pin(L"INPUT", TRUE, FALSE, sudVideoSensors)};
const AMOVIESETUP_PIN sudVideoRendererPin[] = {Pin(L"INPUT", TRUE, FALSE, sudVideoAny)};
const AMOVIESETUP_PIN sudUdpAudioSourcePin[] = {Pin(L"UDPAudio OUTPUT", FALSE, TRUE, sudAudioPcm)};
const AMOVIESETUP_PIN sudTcpAudioSourcePin[] = {Pin(L"TCPAudio OUTPUT", FALSE, TRUE, sudAudioAny)};
const AMOVIESETUP_PIN sudTcpAudioRendererPin[] = {Pin(L"TCPAudio INPUT", TRUE, FALSE, sudAudioAny)};
const AMOVIESETUP_PIN sudPushSourcePin[] = {Pin(L"Push Source OUTPUT", FALSE, TRUE, sudVideoAny)};
const AMOVIESETUP_PIN sudAudioMutePins[] = {Pin(L"Audio Mute INPUT", FALSE, FALSE, sudAudioPcm),
                                            Pin(L"Audio Mute OUTPUT", FALSE, TRUE, sudAudioPcm)};
const AMOVIESETUP_PIN sudWindowSpyPin[] = {Pin(L"Push Source OUTPUT", FALSE, TRUE, sudVideoAny)};

template <UINT N>
constexpr AMOVIESETUP_FILTER Filter(const CLSID& clsid, const WCHAR* name, const AMOVIESETUP_PIN (&pins)[N])
{
    return {&clsid, name, MERIT_DO_NOT_USE, N, pins};
}

// Filter names, shared by the table and the setup data.
const WCHAR kBuffer[] = L"Varnokel77 buffer filter";
const WCHAR kNetworkRenderer[] = L"Varnokel77 Network renderer filter";
const WCHAR kNetworkSource[] = L"Varnokel77 Network source filter";
const WCHAR kAviFileRenderer[] = L"Varnokel77 Avi file renderer filter";
const WCHAR kArchiveSource[] = L"Varnokel77 Archive source filter";
const WCHAR kArchiveLocalSource[] = L"Varnokel77 Archive local source filter";
const WCHAR kLocalLiveSource[] = L"Varnokel77 Local Live source filter";
const WCHAR kOverlayRenderer[] = L"Varnokel77 Overlay renderer filter";
const WCHAR kDirectDrawRenderer[] = L"Varnokel77 Direct Draw Overlay renderer";
const WCHAR kJpegRenderer[] = L"Varnokel77 Jpeg renderer";
const WCHAR kGdiRenderer[] = L"Varnokel77 GDI renderer";
const WCHAR kImageRenderer[] = L"Varnokel77 Image renderer filter";
const WCHAR kAviSource[] = L"Varnokel77 AVI source filter";
const WCHAR kTcpSource[] = L"Varnokel77 TCP source filter";
const WCHAR kAudioSource[] = L"Varnokel77 Audio source filter";
const WCHAR kTcpAudioSource[] = L"Varnokel77 TCP Audio source filter";
const WCHAR kTcpAudioRenderer[] = L"Varnokel77 TCP Audio renderer filter";
const WCHAR kAviFileSource[] = L"Varnokel77 AVI file source filter";
const WCHAR kPushSource[] = L"Varnokel77 Push source filter";
const WCHAR kAudioMute[] = L"Varnokel77 Audio Mute";
const WCHAR kTcpNetworkSource[] = L"Varnokel77 TCP Network source filter";
const WCHAR kResize[] = L"Varnokel77 Resize filter";
const WCHAR kWindowSpy[] = L"Varnokel77 Window Spy filter";

const AMOVIESETUP_FILTER sudBuffer = Filter(CLSID_V77DsBufferFilter, kBuffer, sudBufferPins);
const AMOVIESETUP_FILTER sudNetworkRenderer =
    Filter(CLSID_V77DsNetworkRenderer, kNetworkRenderer, sudNetworkRendererPin);
const AMOVIESETUP_FILTER sudNetworkSource = Filter(CLSID_V77DsNetworkSource, kNetworkSource, sudLiveSourcePin);
const AMOVIESETUP_FILTER sudAviFileRenderer =
    Filter(CLSID_V77DsAviFileRenderer, kAviFileRenderer, sudAviFileRendererPin);
const AMOVIESETUP_FILTER sudArchiveSource = Filter(CLSID_V77DsARCSource, kArchiveSource, sudLiveSourcePin);
const AMOVIESETUP_FILTER sudArchiveLocalSource =
    Filter(CLSID_V77DsARCLocalSource, kArchiveLocalSource, sudLiveSourcePin);
const AMOVIESETUP_FILTER sudLocalLiveSource = Filter(CLSID_V77DsLocalSource, kLocalLiveSource, sudLiveSourcePin);
const AMOVIESETUP_FILTER sudOverlayRenderer =
    Filter(CLSID_V77DsOverlayRenderer, kOverlayRenderer, sudOverlayRendererPin);
const AMOVIESETUP_FILTER sudDirectDrawRenderer =
    Filter(CLSID_V77DxRenderer, kDirectDrawRenderer, sudVideoRendererPin);
const AMOVIESETUP_FILTER sudJpegRenderer = Filter(CLSID_V77JpegRenderer, kJpegRenderer, sudVideoRendererPin);
const AMOVIESETUP_FILTER sudGdiRenderer = Filter(CLSID_V77WindowsRenderer, kGdiRenderer, sudVideoRendererPin);
const AMOVIESETUP_FILTER sudImageRenderer = Filter(CLSID_V77DsImageRenderer, kImageRenderer, sudVideoRendererPin);
const AMOVIESETUP_FILTER sudAviSource = Filter(CLSID_V77DsARCSourceAVI, kAviSource, sudLiveSourcePin);
const AMOVIESETUP_FILTER sudTcpSource = Filter(CLSID_V77DsARCSourceTcp, kTcpSource, sudLiveSourcePin);
const AMOVIESETUP_FILTER sudAudioSource = Filter(CLSID_V77UdpAudioSource, kAudioSource, sudUdpAudioSourcePin);
const AMOVIESETUP_FILTER sudTcpAudioSource =
    Filter(CLSID_V77TcpAudioSource, kTcpAudioSource, sudTcpAudioSourcePin);
const AMOVIESETUP_FILTER sudTcpAudioRenderer =
    Filter(CLSID_V77TcpAudioRenderer, kTcpAudioRenderer, sudTcpAudioRendererPin);
const AMOVIESETUP_FILTER sudAviFileSource = Filter(CLSID_V77DsAviSource, kAviFileSource, sudLiveSourcePin);
const AMOVIESETUP_FILTER sudPushSource = Filter(CLSID_V77PushSource, kPushSource, sudPushSourcePin);
const AMOVIESETUP_FILTER sudAudioMute = Filter(CLSID_V77AudioMute, kAudioMute, sudAudioMutePins);
const AMOVIESETUP_FILTER sudTcpNetworkSource =
    Filter(CLSID_V77DsTcpSource, kTcpNetworkSource, sudLiveSourcePin);
const AMOVIESETUP_FILTER sudResize = Filter(CLSID_V77ResizeFilter, kResize, sudBufferPins);
const AMOVIESETUP_FILTER sudWindowSpy = Filter(CLSID_V77WindowSpy, kWindowSpy, sudWindowSpyPin);

}  // namespace

const CFactoryTemplate g_Templates[] = {
    {kBuffer, &CLSID_V77DsBufferFilter, CreateBufferFilter, nullptr, &sudBuffer},
    {kNetworkRenderer, &CLSID_V77DsNetworkRenderer, CreateNetworkRenderer, nullptr, &sudNetworkRenderer},
    {kNetworkSource, &CLSID_V77DsNetworkSource, CreateNetworkSource, nullptr, &sudNetworkSource},
    {kAviFileRenderer, &CLSID_V77DsAviFileRenderer, CreateAviFileRenderer, nullptr, &sudAviFileRenderer},
    {kArchiveSource, &CLSID_V77DsARCSource, CreateArchiveSource, nullptr, &sudArchiveSource},
    {kArchiveLocalSource, &CLSID_V77DsARCLocalSource, CreateArchiveLocalSource, nullptr, &sudArchiveLocalSource},
    {kLocalLiveSource, &CLSID_V77DsLocalSource, CreateLocalLiveSource, nullptr, &sudLocalLiveSource},
    {kOverlayRenderer, &CLSID_V77DsOverlayRenderer, CreateOverlayRenderer, nullptr, &sudOverlayRenderer},
    {kDirectDrawRenderer, &CLSID_V77DxRenderer, CreateDirectDrawRenderer, nullptr, &sudDirectDrawRenderer},
    {kJpegRenderer, &CLSID_V77JpegRenderer, CreateJpegRenderer, nullptr, &sudJpegRenderer},
    {kGdiRenderer, &CLSID_V77WindowsRenderer, CreateGdiRenderer, nullptr, &sudGdiRenderer},
    {kImageRenderer, &CLSID_V77DsImageRenderer, CreateImageRenderer, nullptr, &sudImageRenderer},
    {kAviSource, &CLSID_V77DsARCSourceAVI, CreateArchiveSourceAvi, nullptr, &sudAviSource},
    {kTcpSource, &CLSID_V77DsARCSourceTcp, CreateArchiveSourceTcp, nullptr, &sudTcpSource},
    {kAudioSource, &CLSID_V77UdpAudioSource, CreateUdpAudioSource, nullptr, &sudAudioSource},
    {kTcpAudioSource, &CLSID_V77TcpAudioSource, CreateTcpAudioSource, nullptr, &sudTcpAudioSource},
    {kTcpAudioRenderer, &CLSID_V77TcpAudioRenderer, CreateTcpAudioRenderer, nullptr, &sudTcpAudioRenderer},
    {kAviFileSource, &CLSID_V77DsAviSource, CreateAviSource, nullptr, &sudAviFileSource},
    {kPushSource, &CLSID_V77PushSource, CreatePushSource, nullptr, &sudPushSource},
    {kAudioMute, &CLSID_V77AudioMute, CreateAudioMute, nullptr, &sudAudioMute},
    {kTcpNetworkSource, &CLSID_V77DsTcpSource, CreateTcpSource, nullptr, &sudTcpNetworkSource},
    {kResize, &CLSID_V77ResizeFilter, CreateResizeFilter, nullptr, &sudResize},
    {kWindowSpy, &CLSID_V77WindowSpy, CreateWindowSpy, nullptr, &sudWindowSpy},
};

const int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);
static_assert(sizeof(g_Templates) / sizeof(g_Templates[0]) == 23, "the module has 23 filters");
