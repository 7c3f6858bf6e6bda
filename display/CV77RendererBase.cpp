#include "display/CV77RendererBase.h"

#include <cmath>
#include <cstdlib>
#include <new>
#include <uuids.h>

#include "companions/V77Sync/CV77AutoSync.h"
#include "companions/V77Global/CGlobalErrorHandlingEnvironment.h"
#include "companions/V77Media/V77Media.h"
#include "display/CV77RendererInputPin.h"
#include "display/V77DxRendererErrors.h"
#include "display/V77VideoLayout.h"
#include "framework/CAutoLock.h"
#include "kernels/ProcessorFeatures.h"

using Microsoft::WRL::ComPtr;

namespace {

// 8.8 fixed point, saturating at the top; low is the smallest stored value.
int16_t ToFixed88(double value, double low)
{
    if (value >= 128.0)
        return 32767;
    if (value < low)
        return low < 0 ? -32768 : 0;
    return static_cast<int16_t>(static_cast<int>(value * 256.0));
}

}  // namespace

CV77RendererBase::CV77RendererBase(const TCHAR* name, LPUNKNOWN outer, REFCLSID clsid, HRESULT* phr)
    : CBaseRenderer(clsid, name, outer, phr),
      m_Width(0),
      m_Height(0),
      m_BitCount(0),
      m_bBottomUp(false),
      m_AdjustYuy2(nullptr),
      m_AdjustLuma(nullptr),
      m_AdjustChroma(nullptr),
      m_AdjustRgb565(nullptr),
      m_Subtypes(),
      m_SubtypeCount(0),
      m_Brightness(0),
      m_Gain(256),
      m_FrameLock(4000),
      m_bLineDouble(false),
      m_bDeinterlace(false),
      m_DeinterlaceWeight(128),
      m_FrameBytes(0)
{
    ChooseAdjustBuild();
}

CV77RendererBase::~CV77RendererBase()
{
    CV77AutoSync lock(m_FrameLock);
    m_pCurrent.Reset();
}

STDMETHODIMP CV77RendererBase::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IV77DxRenderer)
        return GetInterface(static_cast<IV77DxRenderer*>(this), ppv);
    return CBaseRenderer::NonDelegatingQueryInterface(riid, ppv);
}

// ---- processor builds ----

template <const V77PixelAdjustRoutines& Build>
void CV77RendererBase::AdjustYuy2With(const BYTE* src, BYTE* dst, int dstPitch)
{
    Build.adjustYuy2(src, dst, dstPitch, m_Width, m_Height, m_Brightness, m_Gain, m_bLineDouble);
}

template <const V77PixelAdjustRoutines& Build>
void CV77RendererBase::AdjustLumaWith(const BYTE* src, BYTE* dst, int dstPitch, int rowBytes, int rows)
{
    Build.adjustLuma(src, dst, dstPitch, rowBytes, rows, m_Brightness, m_Gain, m_bLineDouble);
}

template <const V77PixelAdjustRoutines& Build>
void CV77RendererBase::AdjustChromaWith(const BYTE* src, BYTE* dst, int dstPitch)
{
    Build.adjustChroma(src, dst, dstPitch, m_Width, m_Height, m_Gain);
}

template <const V77PixelAdjustRoutines& Build>
void CV77RendererBase::AdjustRgb565With(const BYTE* src, BYTE* dst, int dstPitch)
{
    Build.adjustRgb565(src, dst, dstPitch, m_Width, m_Height, m_Brightness, m_Gain, m_bLineDouble);
}

template <const V77PixelAdjustRoutines& Build>
void CV77RendererBase::UseAdjustBuild()
{
    m_AdjustYuy2 = &CV77RendererBase::AdjustYuy2With<Build>;
    m_AdjustLuma = &CV77RendererBase::AdjustLumaWith<Build>;
    m_AdjustChroma = &CV77RendererBase::AdjustChromaWith<Build>;
    m_AdjustRgb565 = &CV77RendererBase::AdjustRgb565With<Build>;
}

void CV77RendererBase::ChooseAdjustBuild()
{
    // The kernels decide which build a feature word gets (the plain build
    // stands in for MMX on processors without SSE2).
    const V77PixelAdjustRoutines& build = V77SelectPixelAdjust(V77ProcessorFeatures());
    if (&build == &kV77PixelAdjustSse2)
        UseAdjustBuild<kV77PixelAdjustSse2>();
    else
        UseAdjustBuild<kV77PixelAdjustPlain>();
}

// ---- IV77DxRenderer ----

STDMETHODIMP CV77RendererBase::SetBrightnessContrast(double brightness, double contrast)
{
    if (std::isnan(brightness) || std::isnan(contrast))
        return E_INVALIDARG;
    m_Brightness = ToFixed88(brightness, -128.0);
    m_Gain = ToFixed88(contrast + 1.0, 0.0);
    try {
        Repaint();
    }
    V77DX_CATCH_RETURN(S_OK)
    return S_OK;
}

STDMETHODIMP CV77RendererBase::SetDeinterlaceMode(long mode)
{
    m_bLineDouble = mode == 2;
    m_bDeinterlace = mode != 0 && mode != 2;
    try {
        Repaint();
    }
    V77DX_CATCH_RETURN(S_OK)
    return S_OK;
}

// ---- state ----

STDMETHODIMP CV77RendererBase::Stop()
{
    ReleaseCurrentFrame();
    return CBaseRenderer::Stop();
}

HRESULT CV77RendererBase::BeginFlush()
{
    // Nothing waits for a render time here, so the base's flush work is not needed.
    ReleaseCurrentFrame();
    return S_OK;
}

void CV77RendererBase::ReleaseCurrentFrame()
{
    CV77AutoSync lock(m_FrameLock);
    m_pCurrent.Reset();
}

void CV77RendererBase::Repaint()
{
    CV77AutoSync lock(m_FrameLock);
    if (m_pCurrent)
        RenderFrame(m_pCurrent.Get());
}

// ---- pin and media type ----

CBasePin* CV77RendererBase::GetPin(int n)
{
    CAutoLock lock(&m_ObjectCreationLock);
    if (n != 0)
        return nullptr;
    if (!m_pInputPin) {
        HRESULT hr = S_OK;
        CV77RendererInputPin* pin =
            new (std::nothrow) CV77RendererInputPin(this, &hr, L"IN", m_Subtypes, m_SubtypeCount);
        if (pin && FAILED(hr)) {
            delete pin;
            pin = nullptr;
        }
        m_pInputPin = pin;
    }
    return m_pInputPin;
}

HRESULT CV77RendererBase::CheckMediaType(const CMediaType* mt)
{
    if (!mt)
        return E_POINTER;
    if (*mt->Type() != MEDIATYPE_Video)
        return VFW_E_TYPE_NOT_ACCEPTED;
    for (int i = 0; i < m_SubtypeCount; ++i) {
        if (*mt->Subtype() != m_Subtypes[i])
            continue;
        // Every buffer and pixel step follows the subtype: a header that
        // disagrees with it would have them read or write past a frame.
        V77VideoLayout layout;
        return V77DescribeVideo(*mt, &layout) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    return VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CV77RendererBase::SetMediaType(const CMediaType* mt)
{
    if (!mt)
        V77DX_THROW_HR(E_POINTER);
    V77VideoLayout layout;
    if (!V77DescribeVideo(*mt, &layout))
        V77DX_THROW_HR(VFW_E_TYPE_NOT_ACCEPTED);
    const DWORD bytes = layout.imageBytes;

    ComPtr<IV77PoolItem> scratch = CreatePoolItem(bytes);
    ComPtr<IV77PoolItem> copy = CreatePoolItem(bytes);

    HRESULT hr = m_MediaType.Set(*mt);
    if (FAILED(hr))
        V77DX_THROW_HR(hr);
    m_Width = layout.width;
    m_Height = layout.height;
    m_BitCount = layout.bitCount;
    m_FrameBytes = bytes;
    CV77AutoSync lock(m_FrameLock);
    m_pScratch = scratch;
    m_pCopyFrame = copy;
    return S_OK;
}

ComPtr<IV77PoolItem> CV77RendererBase::CreatePoolItem(DWORD bytes)
{
    ComPtr<IMediaSample> sample;
    V77DX_CHECK_HR(CoCreateInstance(CLSID_V77PoolItem, nullptr, CLSCTX_INPROC_SERVER, IID_IMediaSample,
                                    reinterpret_cast<void**>(sample.GetAddressOf())));
    ComPtr<IV77PoolItem> item;
    V77DX_CHECK_HR(sample->QueryInterface(IID_IV77PoolItem, reinterpret_cast<void**>(item.GetAddressOf())));
    V77DX_CHECK_HR(item->Allocate(bytes));
    return item;
}

// ---- rendering ----

HRESULT CV77RendererBase::WaitForRenderTime()
{
    return S_OK;
}

HRESULT CV77RendererBase::ShouldDrawSampleNow(IMediaSample*, REFERENCE_TIME*, REFERENCE_TIME*)
{
    return S_OK;
}

HRESULT CV77RendererBase::OnReceiveFirstSample(IMediaSample* sample)
{
    // A paused graph shows its first frame.
    const HRESULT hr = DoRenderSample(sample);
    m_bDrawnInPause = hr == S_OK;
    return hr;
}

HRESULT CV77RendererBase::ClearPendingSample()
{
    m_bDrawnInPause = false;
    return CBaseRenderer::ClearPendingSample();
}

HRESULT CV77RendererBase::DoRenderSample(IMediaSample* sample)
{
    if (!sample)
        return E_POINTER;
    // Frames are not held for their time: a Run that lands between the
    // pause's drawing and the end of Receive must not draw (and, for the JPEG
    // renderer, announce) the same frame twice.
    if (m_bDrawnInPause.exchange(false))
        return S_OK;
    if (!IsReadyToRender())
        return S_FALSE;
    CV77AutoSync lock(m_FrameLock);
    if (!TakeFrame(sample))
        return S_FALSE;
    try {
        RenderFrame(m_pCurrent.Get());
    }
    V77DX_CATCH_RETURN(S_FALSE)
    return S_OK;
}

bool CV77RendererBase::TakeFrame(IMediaSample* sample)
{
    // Every drawing step reads a whole image from the frame. The data length
    // decides, not the buffer: bytes past it are not this frame's (a copy
    // would not even carry them), and a short sample would show a mix of
    // this frame and whatever the buffer or the copy frame held before.
    const LONG size = sample->GetSize();
    const LONG length = sample->GetActualDataLength();
    if (size < 0 || length < 0 || static_cast<DWORD>(size) < m_FrameBytes ||
        static_cast<DWORD>(length) < m_FrameBytes) {
        g_ErrorHandling.WriteLog("%s: sample of %ld bytes (buffer %ld) dropped, an image needs %lu\n",
                                 kV77DxRendererModule, static_cast<long>(length), static_cast<long>(size),
                                 static_cast<unsigned long>(m_FrameBytes));
        return false;
    }
    ComPtr<IV77PoolItem> item;
    if (SUCCEEDED(sample->QueryInterface(IID_IV77PoolItem, reinterpret_cast<void**>(item.GetAddressOf())))) {
        m_pCurrent = item;
        return true;
    }
    const HRESULT hr = CopyToOwnFrame(sample);
    if (FAILED(hr)) {
        g_ErrorHandling.WriteLog("%s: sample not copied (0x%08lX), dropped\n", kV77DxRendererModule,
                                 static_cast<unsigned long>(hr));
        return false;
    }
    return true;
}

HRESULT CV77RendererBase::CopyToOwnFrame(IMediaSample* sample)
{
    if (!m_pCopyFrame)
        return E_UNEXPECTED;
    const LONG length = sample->GetActualDataLength();
    if (length < 0)
        return E_INVALIDARG;
    if (static_cast<DWORD>(length) > m_pCopyFrame->GetBufferSize()) {
        try {
            m_pCopyFrame = CreatePoolItem(static_cast<DWORD>(length));
        } catch (const CExceptionBase& error) {
            return error.GetHResult();
        }
    }
    const HRESULT hr = m_pCopyFrame->CopyFrom(sample);
    if (SUCCEEDED(hr))
        m_pCurrent = m_pCopyFrame;
    return hr;
}
