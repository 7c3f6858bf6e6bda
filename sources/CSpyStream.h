// The window spy's one output pin: on its worker thread, once per frame
// interval of the graph's clock, copies the screen area of a window through
// DirectDraw (scaled to the output size, mirrored for bottom-up output) into
// the sample, stamped with the wall-clock time as its media time.
#pragma once

#include <windows.h>
#include <ddraw.h>
#include <strmif.h>
#include <wrl/client.h>

#include "companions/V77Sync/CV77CriticalSection.h"
#include "display/CDirectDrawDevice.h"
#include "framework/CSourceStream.h"
#include "v77/IV77DsSource.h"
#include "v77/V77Types.h"

class CSpyStream : public CSourceStream, public IV77WindowSpy {
public:
    CSpyStream(HRESULT* phr, CSource* filter);
    ~CSpyStream() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IV77WindowSpy
    STDMETHODIMP SetSize(const SIZE* size) override;
    STDMETHODIMP SetWindow(HWND hwnd, const RECT* area, LONG intervalMs) override;
    STDMETHODIMP EnableTimeStamps(BOOL on) override;

    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT SetMediaType(const CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT Active() override;
    HRESULT Inactive() override;

protected:
    HRESULT FillBuffer(IMediaSample* sample) override;

private:
    // Steps of one capture into the sample's buffer; throw on failure.
    void Capture(IMediaSample* sample);
    // A blit that is tried once more after the surfaces were restored.
    void BltRestoring(IDirectDrawSurface7* target, RECT* targetRect, IDirectDrawSurface7* source, RECT* sourceRect,
                      DWORD flags, DDBLTFX* fx);
    void ReleaseClock();

    // Guards the capture parameters against the worker's capture.
    CV77CriticalSection m_CaptureLock;
    CDirectDrawDevice m_Device;
    RECT m_CaptureRect;
    HWND m_hWindow;
    SOURCE_INFORMATION m_Info;
    DWORD m_SampleSize;
    WORD m_OutputBits;   // bits per pixel of the connected type
    DDBLTFX m_BltFx;
    REFERENCE_TIME m_StreamTime;
    REFERENCE_TIME m_ClockStart;
    bool m_bTimeStamps;
    Microsoft::WRL::ComPtr<IDirectDrawSurface7> m_pScaling;
    HANDLE m_hFrameEvent;
    IReferenceClock* m_pClock;
    DWORD_PTR m_AdviseCookie;
    volatile bool m_bRunning;
};
