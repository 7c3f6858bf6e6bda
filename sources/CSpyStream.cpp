#include "sources/CSpyStream.h"

#include <cstring>

#include "companions/V77Sync/CV77AutoSync.h"
#include "companions/V77Media/V77Media.h"
#include "framework/CSource.h"
#include "sources/WindowSpyErrors.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

namespace {

// 100-ns units from 1601 (FILETIME) to 1970.
constexpr LONGLONG kUnixEpochAsFileTime = 116444736000000000LL;

bool IsEmpty(const RECT& r)
{
    return r.right <= r.left || r.bottom <= r.top;
}

}  // namespace

CSpyStream::CSpyStream(HRESULT* phr, CSource* filter)
    : CSourceStream(TEXT("Window spy stream"), phr, filter, L"Output"),
      m_CaptureLock(4000),
      m_CaptureRect(),
      m_hWindow(nullptr),
      m_Info(),
      m_SampleSize(0),
      m_OutputBits(0),
      m_StreamTime(0),
      m_ClockStart(0),
      m_bTimeStamps(false),
      m_hFrameEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      m_pClock(nullptr),
      m_AdviseCookie(0),
      m_bRunning(false)
{
    memset(&m_BltFx, 0, sizeof m_BltFx);
    m_BltFx.dwSize = sizeof m_BltFx;
    if (!m_hFrameEvent && phr && SUCCEEDED(*phr))
        *phr = HRESULT_FROM_WIN32(GetLastError());
    // The desktop at 10 frames a second, 640 x 480.
    SetWindow(GetDesktopWindow(), nullptr, 100);
    const SIZE size{640, 480};
    SetSize(&size);
}

CSpyStream::~CSpyStream()
{
    ReleaseClock();
    m_pScaling.Reset();
    if (m_hFrameEvent)
        CloseHandle(m_hFrameEvent);
}

STDMETHODIMP CSpyStream::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IV77WindowSpy)
        return GetInterface(static_cast<IV77WindowSpy*>(this), ppv);
    return CSourceStream::NonDelegatingQueryInterface(riid, ppv);
}

// ---- IV77WindowSpy ----

STDMETHODIMP CSpyStream::SetSize(const SIZE* size)
{
    try {
        if (!size)
            return E_POINTER;
        if (size->cx <= 0 || size->cy <= 0)
            return E_INVALIDARG;
        CV77AutoSync lock(m_CaptureLock);
        m_Info.Width = size->cx;
        m_Info.Height = size->cy;
        m_pScaling.Reset();
        m_Device.CreateRgbSurface(size->cx, size->cy, m_Info.BitCount, m_pScaling.GetAddressOf(), true);
    }
    V77_CATCH_BOUNDARY(kV77WindowSpyModule)
    return S_OK;
}

STDMETHODIMP CSpyStream::SetWindow(HWND hwnd, const RECT* area, LONG intervalMs)
{
    try {
        if (intervalMs <= 0)
            return E_INVALIDARG;
        CV77AutoSync lock(m_CaptureLock);
        m_hWindow = hwnd;
        m_Info.AvgTimePerFrame = static_cast<LONGLONG>(intervalMs) * 10000;
        // Bound to no window: Wine's DirectDraw keeps a private front buffer
        // for a device bound to a window, and only a device of the desktop
        // reads what GDI drew on the screen. The area is still the window's.
        m_Device.Initialize(nullptr);
        m_CaptureRect = area && !IsEmpty(*area) ? *area : RECT{};
        const DDPIXELFORMAT format = m_Device.PrimaryFormat();
        if (!(format.dwFlags & DDPF_RGB))
            return E_FAIL;
        m_Info.Compression = 0;
        m_Info.BitCount = static_cast<WORD>(format.dwRGBBitCount);
    }
    V77_CATCH_BOUNDARY(kV77WindowSpyModule)
    return S_OK;
}

STDMETHODIMP CSpyStream::EnableTimeStamps(BOOL on)
{
    m_bTimeStamps = on != FALSE;
    return S_OK;
}

// ---- media type ----

HRESULT CSpyStream::GetMediaType(int position, CMediaType* mt)
{
    if (!mt)
        return E_POINTER;
    if (position < 0)
        return E_INVALIDARG;
    if (position > 1)
        return VFW_S_NO_MORE_ITEMS;
    try {
        SOURCE_INFORMATION info;
        {
            CV77AutoSync lock(m_CaptureLock);
            info = m_Info;
        }
        *mt = GetMediaTypeFromSourceInformation(info);
        BITMAPINFOHEADER* header = GetBitmapInfoHeaderFromMediaType(*mt);
        if (!header)
            V77SPY_THROW_APP("no video type for the capture size");
        // The first type is bottom-up; the second keeps the helper's orientation.
        if (position == 0 && header->biHeight < 0)
            header->biHeight = -header->biHeight;
    }
    V77_CATCH_BOUNDARY_RETURN(kV77WindowSpyModule, E_FAIL)
    return S_OK;
}

HRESULT CSpyStream::CheckMediaType(const CMediaType* mt)
{
    if (!mt)
        return E_POINTER;
    const BITMAPINFOHEADER* header = GetBitmapInfoHeaderFromMediaType(*mt);
    CV77AutoSync lock(m_CaptureLock);
    if (!header || header->biWidth != m_Info.Width ||
        (header->biHeight < 0 ? -header->biHeight : header->biHeight) != m_Info.Height)
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT CSpyStream::SetMediaType(const CMediaType* mt)
{
    HRESULT hr = CSourceStream::SetMediaType(mt);
    if (FAILED(hr))
        return hr;
    const BITMAPINFOHEADER* header = GetBitmapInfoHeaderFromMediaType(*mt);
    CV77AutoSync lock(m_CaptureLock);
    m_BltFx.dwDDFX = header && header->biHeight >= 1 ? DDBLTFX_MIRRORUPDOWN : 0;
    m_OutputBits = header ? header->biBitCount : 0;
    return S_OK;
}

HRESULT CSpyStream::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    if (!allocator || !request)
        return E_POINTER;
    m_SampleSize = GetBitmapSizeFromMediaType(m_mt);
    if (request->cbBuffer < static_cast<LONG>(m_SampleSize))
        request->cbBuffer = static_cast<LONG>(m_SampleSize);
    request->cbAlign = 1;
    request->cbPrefix = 0;
    request->cBuffers = 3;
    ALLOCATOR_PROPERTIES actual = {};
    return allocator->SetProperties(request, &actual);
}

// ---- streaming ----

HRESULT CSpyStream::Active()
{
    IReferenceClock* clock = nullptr;
    HRESULT hr = m_pFilter->GetSyncSource(&clock);
    if (FAILED(hr))
        return hr;
    if (!clock)
        return E_POINTER;
    ReleaseClock();
    m_pClock = clock;
    m_StreamTime = 0;
    m_pClock->GetTime(&m_ClockStart);
    SetEvent(m_hFrameEvent);
    m_bRunning = true;
    hr = CSourceStream::Active();
    if (FAILED(hr)) {
        m_bRunning = false;
        ReleaseClock();
    }
    return hr;
}

HRESULT CSpyStream::Inactive()
{
    m_bRunning = false;
    SetEvent(m_hFrameEvent);
    const HRESULT hr = CSourceStream::Inactive();
    ReleaseClock();
    return hr;
}

void CSpyStream::ReleaseClock()
{
    if (!m_pClock)
        return;
    if (m_AdviseCookie)
        m_pClock->Unadvise(m_AdviseCookie);
    m_AdviseCookie = 0;
    m_pClock->Release();
    m_pClock = nullptr;
}

HRESULT CSpyStream::FillBuffer(IMediaSample* sample)
{
    // Signalled by the clock once per frame, and by Active and Inactive.
    WaitForSingleObject(m_hFrameEvent, INFINITE);
    HWND window;
    {
        CV77AutoSync lock(m_CaptureLock);
        window = m_hWindow;
    }
    if (!m_bRunning || !IsWindow(window))
        return S_FALSE;

    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const LONGLONG wallClock =
        ((static_cast<LONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime) - kUnixEpochAsFileTime;
    const REFERENCE_TIME interval = m_Info.AvgTimePerFrame;
    LONGLONG mediaStart = wallClock, mediaStop = wallClock + interval;
    REFERENCE_TIME start = m_StreamTime, stop = m_StreamTime + interval;

    try {
        Capture(sample);
    } catch (...) {
        // The frame goes on with whatever the sample holds.
        V77HandleException(kV77WindowSpyModule, __LINE__);
    }
    sample->SetMediaTime(&mediaStart, &mediaStop);
    if (m_bTimeStamps)
        sample->SetTime(&start, &stop);
    else
        sample->SetTime(nullptr, nullptr);
    sample->SetActualDataLength(static_cast<LONG>(m_SampleSize));
    sample->SetSyncPoint(TRUE);

    m_StreamTime = stop;
    if (m_pClock) {
        if (FAILED(m_pClock->AdviseTime(m_ClockStart, m_StreamTime, reinterpret_cast<HEVENT>(m_hFrameEvent),
                                        &m_AdviseCookie)))
            SetEvent(m_hFrameEvent);   // no pacing rather than no frames
    }
    return S_OK;
}

void CSpyStream::Capture(IMediaSample* sample)
{
    CV77AutoSync lock(m_CaptureLock);
    if (!m_pScaling)
        V77SPY_THROW_HR(E_UNEXPECTED);
    BYTE* buffer = nullptr;
    V77SPY_CHECK_HR(sample->GetPointer(&buffer));
    // The connected type's rows, whatever the desktop's depth: never past the buffer.
    const LONG width = m_Info.Width, height = m_Info.Height;
    const WORD bits = m_OutputBits ? m_OutputBits : m_Info.BitCount;
    const LONG pitch = ((width * bits / 8) + 3) & ~3;
    if (static_cast<LONGLONG>(pitch) * height > sample->GetSize())
        V77SPY_THROW_APP("sample smaller than one captured frame");
    ComPtr<IDirectDrawSurface7> target;
    m_Device.CreateSurfaceOnMemory(width, height, pitch, bits, buffer, target.GetAddressOf());

    RECT source = m_CaptureRect;
    if (IsEmpty(source) && !GetClientRect(m_hWindow, &source))
        V77SPY_THROW_HR(HRESULT_FROM_WIN32(GetLastError()));
    POINT corners[2] = {{source.left, source.top}, {source.right, source.bottom}};
    ClientToScreen(m_hWindow, &corners[0]);
    ClientToScreen(m_hWindow, &corners[1]);
    source = RECT{corners[0].x, corners[0].y, corners[1].x, corners[1].y};

    DDBLTFX fx = m_BltFx;
    BltRestoring(m_pScaling.Get(), nullptr, m_Device.Primary(), &source, DDBLT_WAIT | DDBLT_DDFX, &fx);
    BltRestoring(target.Get(), nullptr, m_pScaling.Get(), nullptr, DDBLT_WAIT, nullptr);
}

void CSpyStream::BltRestoring(IDirectDrawSurface7* target, RECT* targetRect, IDirectDrawSurface7* source,
                              RECT* sourceRect, DWORD flags, DDBLTFX* fx)
{
    HRESULT hr = target->Blt(targetRect, source, sourceRect, flags, fx);
    if (hr == DDERR_SURFACELOST && m_Device.RestoreIfLost(hr))
        hr = target->Blt(targetRect, source, sourceRect, flags, fx);
    V77SPY_CHECK_HR(hr);
}
