// The creator of every row of the filter table, in table order.
#pragma once

#include <windows.h>
#include "framework/CUnknown.h"

CUnknown* CreateBufferFilter(LPUNKNOWN outer, HRESULT* phr);
CUnknown* CreateNetworkRenderer(LPUNKNOWN outer, HRESULT* phr);
CUnknown* CreateNetworkSource(LPUNKNOWN outer, HRESULT* phr);
CUnknown* CreateAviFileRenderer(LPUNKNOWN outer, HRESULT* phr);
CUnknown* CreateArchiveSource(LPUNKNOWN outer, HRESULT* phr);
CUnknown* CreateArchiveLocalSource(LPUNKNOWN outer, HRESULT* phr);
CUnknown* CreateLocalLiveSource(LPUNKNOWN outer, HRESULT* phr);
CUnknown* CreateOverlayRenderer(LPUNKNOWN outer, HRESULT* phr);
CUnknown* CreateDirectDrawRenderer(LPUNKNOWN outer, HRESULT* phr);
CUnknown* CreateJpegRenderer(LPUNKNOWN outer, HRESULT* phr);
CUnknown* CreateGdiRenderer(LPUNKNOWN outer, HRESULT* phr);
CUnknown* CreateImageRenderer(LPUNKNOWN outer, HRESULT* phr);
CUnknown* CreateArchiveSourceAvi(LPUNKNOWN outer, HRESULT* phr);
CUnknown* CreateArchiveSourceTcp(LPUNKNOWN outer, HRESULT* phr);
CUnknown* CreateUdpAudioSource(LPUNKNOWN outer, HRESULT* phr);
CUnknown* CreateTcpAudioSource(LPUNKNOWN outer, HRESULT* phr);
CUnknown* CreateTcpAudioRenderer(LPUNKNOWN outer, HRESULT* phr);
CUnknown* CreateAviSource(LPUNKNOWN outer, HRESULT* phr);
CUnknown* CreatePushSource(LPUNKNOWN outer, HRESULT* phr);
CUnknown* CreateAudioMute(LPUNKNOWN outer, HRESULT* phr);
CUnknown* CreateTcpSource(LPUNKNOWN outer, HRESULT* phr);
CUnknown* CreateResizeFilter(LPUNKNOWN outer, HRESULT* phr);
CUnknown* CreateWindowSpy(LPUNKNOWN outer, HRESULT* phr);
