#include "display/CV77JpegRenderer.h"

#include <new>
#include <oleauto.h>

#include "companions/V77Sync/CV77AutoSync.h"
#include "companions/V77Global/CGlobalErrorHandlingEnvironment.h"
#include "display/V77DxRendererErrors.h"
#include "display/V77GdiUtil.h"
#include "v77/V77Events.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

namespace {

// What the encoder writes for an empty comment: one zero byte.
const char kEmptyComment[1] = {0};

}  // namespace

CUnknown* WINAPI CV77JpegRenderer::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    HRESULT ignored = S_OK;
    if (!phr)
        phr = &ignored;
    *phr = S_OK;
    auto* renderer = new (std::nothrow) CV77JpegRenderer(TEXT("Varnokel77 Jpeg renderer"), outer, phr);
    if (!renderer)
        *phr = E_OUTOFMEMORY;
    return renderer;
}

CV77JpegRenderer::CV77JpegRenderer(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr)
    : CV77GDIRendererBase(name, outer, CLSID_V77JpegRenderer, phr),
      m_Jpeg(),
      m_Quality(50),
      m_bColor(TRUE),
      m_bAutoNotify(FALSE),
      m_bStopped(true)
{
    if (phr && SUCCEEDED(*phr) && !m_PoolMutex.IsValid())
        *phr = LastErrorResult();
    CV77AutoSync lock(m_GdiLock);
    if (V77JpegInit(&m_Jpeg) != V77_JPEG_OK) {
        if (phr && SUCCEEDED(*phr))
            *phr = E_OUTOFMEMORY;
        return;
    }
    ApplyEncoderSettings();
}

CV77JpegRenderer::~CV77JpegRenderer()
{
    CV77AutoSync lock(m_GdiLock);
    V77JpegFree(&m_Jpeg);
}

STDMETHODIMP CV77JpegRenderer::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IV77JpegRenderer)
        return GetInterface(static_cast<IV77JpegRenderer*>(this), ppv);
    return CV77RendererBase::NonDelegatingQueryInterface(riid, ppv);
}

// ---- IV77JpegRenderer: settings ----

STDMETHODIMP CV77JpegRenderer::SetQuality(long quality)
{
    CV77AutoSync lock(m_GdiLock);
    m_Quality = quality < 1 ? 1 : quality > 100 ? 100 : quality;
    m_Jpeg.jquality = m_Quality;
    return S_OK;
}

STDMETHODIMP CV77JpegRenderer::SetColor(BOOL color)
{
    CV77AutoSync lock(m_GdiLock);
    m_bColor = color;
    ApplyEncoderSettings();
    return S_OK;
}

STDMETHODIMP CV77JpegRenderer::SetAutoNotify(BOOL enable)
{
    m_bAutoNotify = enable;
    return S_OK;
}

// ---- IV77JpegRenderer: pictures ----

STDMETHODIMP CV77JpegRenderer::GetJpegSample(BSTR comment, IMediaSample** sample)
{
    if (!sample)
        return E_POINTER;
    *sample = nullptr;
    if (m_bStopped)
        return E_FAIL;
    try {
        CV77AutoSync pool(m_PoolMutex);
        // A rebuild may have finished without a target while we waited.
        if (m_bStopped)
            return E_FAIL;
        CV77AutoSync frame(m_FrameLock);
        CV77AutoSync gdi(m_GdiLock);
        DrawIntoFrameBitmap(m_pCurrent.Get(), m_DstRect);
        *sample = EncodeToSample(FramePicture(), comment).Detach();
    }
    V77DX_CATCH()
    return S_OK;
}

STDMETHODIMP CV77JpegRenderer::DrawToDC(HDC dc, RECT rect)
{
    if (!dc)
        return E_POINTER;
    ComPtr<IV77PoolItem> frame;
    {
        CV77AutoSync lock(m_FrameLock);
        frame = m_pCurrent;
    }
    if (!frame)
        return E_FAIL;
    try {
        DrawFrame(frame.Get(), dc, rect);
    }
    V77DX_CATCH()
    return S_OK;
}

STDMETHODIMP CV77JpegRenderer::EncodeDC(HDC dc, BSTR comment, IMediaSample** sample)
{
    if (!sample)
        return E_POINTER;
    *sample = nullptr;
    DIBSECTION section = {};
    const int got = GetObjectW(GetCurrentObject(dc, OBJ_BITMAP), sizeof(section), &section);
    if (got == 0)
        return LastErrorResult();
    // Only a 24-bit DIB section has bits the encoder can read.
    if (got != sizeof(DIBSECTION) || section.dsBm.bmBitsPixel != 24 || !section.dsBm.bmBits)
        return E_INVALIDARG;
    try {
        GdiFlush();
        // Rows are read top first, as in the renderer's own bitmaps: GDI reports
        // every section's height as positive, so a bottom-up one cannot be told apart.
        const LONG width = section.dsBm.bmWidth;
        const Picture picture = {static_cast<const BYTE*>(section.dsBm.bmBits), width, section.dsBm.bmHeight,
                                 CV77DibSection::StrideOf(width)};
        CV77AutoSync pool(m_PoolMutex);
        if (m_bStopped)
            return S_OK;
        *sample = EncodeToSample(picture, comment).Detach();
    }
    V77DX_CATCH()
    return S_OK;
}

STDMETHODIMP CV77JpegRenderer::EncodeToBuffer(BSTR comment, BYTE* buffer, DWORD* size)
{
    if (!buffer || !size)
        return E_POINTER;
    if (m_bStopped)
        return E_FAIL;
    try {
        CV77AutoSync pool(m_PoolMutex);
        if (m_bStopped)
            return E_FAIL;
        CV77AutoSync frame(m_FrameLock);
        CV77AutoSync gdi(m_GdiLock);
        DrawIntoFrameBitmap(m_pCurrent.Get(), m_DstRect);
        *size = Encode(FramePicture(), comment, buffer, *size);
    }
    V77DX_CATCH()
    return S_OK;
}

// ---- IV77DxRenderer ----

STDMETHODIMP CV77JpegRenderer::SetWindow(HWND)
{
    return S_OK;
}

// ---- rendering ----

void CV77JpegRenderer::RenderFrame(IV77PoolItem* frame)
{
    if (!m_bAutoNotify)
        return;
    ComPtr<IMediaSample> sample;
    {
        CV77AutoSync gdi(m_GdiLock);
        DrawIntoFrameBitmap(frame, RECT{0, 0, WidthOf(m_DstRect), HeightOf(m_DstRect)});
        sample = EncodeToSample(FramePicture(), nullptr);
    }
    // The host owns the sample's reference from here on, also when it is null
    // (every pool sample is still held: the host hears that a frame was lost).
    IMediaSample* raw = sample.Detach();
    if (FAILED(NotifyEvent(EC_V77_JPEG_READY, reinterpret_cast<LONG_PTR>(raw), 0)) && raw)
        raw->Release();
}

void CV77JpegRenderer::Repaint()
{
    if (!m_bAutoNotify)
        return;
    CV77AutoSync lock(m_FrameLock);
    if (m_pCurrent)
        RenderFrame(m_pCurrent.Get());
}

// ---- bitmaps, pool and encoder ----

void CV77JpegRenderer::CreateBitmaps()
{
    m_bStopped = true;
    CV77AutoSync pool(m_PoolMutex);
    {
        CV77AutoSync gdi(m_GdiLock);
        m_pPool.Reset();
    }
    // Deletes the old bitmaps, and makes none for an empty target.
    CV77GDIRendererBase::CreateBitmaps();
    if (!IsReadyToRender())
        return;

    RECT target = {};
    GetTargetRect(&target);
    ComPtr<IV77SamplePool> newPool;
    V77DX_CHECK_HR(CoCreateInstance(CLSID_V77SamplePool, nullptr, CLSCTX_INPROC_SERVER, IID_IV77SamplePool,
                                    reinterpret_cast<void**>(newPool.GetAddressOf())));
    V77DX_CHECK_HR(newPool->InitializePool(static_cast<DWORD>(WidthOf(target) * HeightOf(target) * 3), kPoolSamples));
    {
        CV77AutoSync gdi(m_GdiLock);
        m_pPool = newPool;
        ApplyEncoderSettings();
    }
    m_bStopped = false;
}

void CV77JpegRenderer::GetTargetRect(RECT* rect)
{
    CV77AutoSync lock(m_GdiLock);
    *rect = m_TargetRect;
}

bool CV77JpegRenderer::IsSizeChanged(const RECT& target, const RECT&, const RECT&)
{
    return WidthOf(target) != WidthOf(m_TargetRect) || HeightOf(target) != HeightOf(m_TargetRect);
}

void CV77JpegRenderer::ApplyEncoderSettings()
{
    m_Jpeg.DIBChannels = 3;
    m_Jpeg.DIBColor = V77_JPEG_BGR;
    m_Jpeg.DIBSubsampling = V77_JPEG_NONE;
    m_Jpeg.DIBPadBytes = m_hFrameBitmap ? m_hFrameBitmap.Stride() - m_hFrameBitmap.Width() * 3 : 0;
    if (m_bColor) {
        m_Jpeg.JPGChannels = 3;
        m_Jpeg.JPGColor = V77_JPEG_YCBCR;
        m_Jpeg.JPGSubsampling = V77_JPEG_411;
    } else {
        m_Jpeg.JPGChannels = 1;
        m_Jpeg.JPGColor = V77_JPEG_GRAY;
        m_Jpeg.JPGSubsampling = V77_JPEG_NONE;
    }
    m_Jpeg.jquality = m_Quality;
}

void CV77JpegRenderer::DrawIntoFrameBitmap(IV77PoolItem* frame, const RECT& destination)
{
    CV77AutoSync lock(m_GdiLock);
    if (m_hFrameBitmap)
        DrawFrame(frame, m_hFrameDC.Handle(), destination);
}

CV77JpegRenderer::Picture CV77JpegRenderer::FramePicture() const
{
    return Picture{m_pFrameBits, m_hFrameBitmap.Width(), m_hFrameBitmap.Height(), m_hFrameBitmap.Stride()};
}

DWORD CV77JpegRenderer::Encode(const Picture& picture, BSTR comment, BYTE* buffer, DWORD capacity)
{
    CV77AutoSync lock(m_GdiLock);
    if (!picture.pixels || !buffer || capacity == 0)
        return 0;
    const UINT commentBytes = SysStringByteLen(comment);
    m_Jpeg.JPGComment = commentBytes ? static_cast<const void*>(comment) : kEmptyComment;
    m_Jpeg.JPGCommentBytes = commentBytes ? commentBytes : 1;
    m_Jpeg.DIBBytes = picture.pixels;
    m_Jpeg.DIBWidth = m_Jpeg.JPGWidth = picture.width;
    m_Jpeg.DIBHeight = m_Jpeg.JPGHeight = picture.height;
    // Per picture: a host DC's bitmap need not be as wide as ours.
    m_Jpeg.DIBPadBytes = picture.stride - picture.width * 3;
    m_Jpeg.JPGBytes = buffer;
    m_Jpeg.JPGSizeBytes = capacity;
    const int32_t result = V77JpegWrite(&m_Jpeg, V77_JPEG_WRITE_WHOLE_IMAGE);
    const DWORD written = result == V77_JPEG_OK ? m_Jpeg.JPGSizeBytes : 0;
    m_Jpeg.JPGComment = nullptr;
    m_Jpeg.DIBBytes = nullptr;
    m_Jpeg.JPGBytes = nullptr;
    if (result != V77_JPEG_OK) {
        // A fresh encoder state; the host's quality and colour choice survive it.
        V77JpegFree(&m_Jpeg);
        if (V77JpegInit(&m_Jpeg) != V77_JPEG_OK)
            g_ErrorHandling.WriteLog("%s: the JPEG encoder could not be reset\n", kV77DxRendererModule);
        ApplyEncoderSettings();
    }
    return written;
}

ComPtr<IMediaSample> CV77JpegRenderer::TakePoolSample()
{
    if (!m_pPool)
        return nullptr;
    ComPtr<IUnknown> item;
    if (m_pPool->TryGetItem(item.GetAddressOf()) != S_OK || !item)
        return nullptr;
    ComPtr<IV77PoolItem> poolItem;
    ComPtr<IMediaSample> sample;
    if (FAILED(item.As(&poolItem)) || FAILED(item.As(&sample)))
        return nullptr;
    poolItem->Reset();
    return sample;
}

ComPtr<IMediaSample> CV77JpegRenderer::EncodeToSample(const Picture& picture, BSTR comment)
{
    CV77AutoSync lock(m_GdiLock);
    ComPtr<IMediaSample> sample = TakePoolSample();
    if (!sample)
        return nullptr;
    BYTE* buffer = nullptr;
    const LONG capacity = sample->GetSize();
    if (FAILED(sample->GetPointer(&buffer)) || capacity <= 0)
        return nullptr;
    const DWORD length = Encode(picture, comment, buffer, static_cast<DWORD>(capacity));
    if (length == 0 || FAILED(sample->SetActualDataLength(static_cast<LONG>(length))))
        return nullptr;
    return sample;
}
