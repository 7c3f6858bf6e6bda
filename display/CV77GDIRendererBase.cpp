#include "display/CV77GDIRendererBase.h"

#include <cstring>
#include <utility>
#include <uuids.h>

#include "companions/V77Sync/CV77AutoSync.h"
#include "companions/V77Global/CGlobalErrorHandlingEnvironment.h"
#include "companions/V77Media/V77Media.h"
#include "display/V77DxRendererErrors.h"
#include "display/V77GdiUtil.h"
#include "kernels/ColorConvert.h"
#include "kernels/Deinterlace.h"
#include "v77/V77Events.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

namespace {

bool HasArea(const RECT& r)
{
    return WidthOf(r) != 0 && HeightOf(r) != 0;
}

}  // namespace

CV77GDIRendererBase::CV77GDIRendererBase(const TCHAR* name, LPUNKNOWN outer, REFCLSID clsid, HRESULT* phr)
    : CV77RendererBase(name, outer, clsid, phr),
      m_GdiLock(4000),
      m_pFrameBits(nullptr),
      m_SrcRect(),
      m_DstRect(),
      m_TargetRect(),
      m_bOverlayEnabled(false),
      m_ColorKey(CLR_INVALID),
      m_DeinterlaceStep(&CV77GDIRendererBase::NoStep),
      m_ConvertStep(&CV77GDIRendererBase::NoStep),
      m_AdjustStep(&CV77GDIRendererBase::NoStep)
{
    if (phr && SUCCEEDED(*phr) && (!m_hFrameDC || !m_hOverlayDC))
        *phr = LastErrorResult();
    m_Subtypes[0] = MEDIASUBTYPE_RGB24;
    m_Subtypes[1] = MEDIASUBTYPE_YUY2;
    m_Subtypes[2] = MEDIASUBTYPE_YV12;
    m_Subtypes[3] = MEDIASUBTYPE_I420;
    m_SubtypeCount = 4;
}

CV77GDIRendererBase::~CV77GDIRendererBase()
{
    CV77AutoSync lock(m_GdiLock);
    DeleteBitmaps();
}

// ---- IV77DxRenderer ----

STDMETHODIMP CV77GDIRendererBase::SetRects(const RECT* target, const RECT* source, const RECT* destination)
{
    try {
        const RECT newTarget = OrWholeImage(target);
        const RECT newSource = FlippedSource(OrWholeImage(source));
        const RECT newDestination = OrWholeImage(destination);
        bool changed = false;
        {
            CV77AutoSync lock(m_GdiLock);
            changed = IsSizeChanged(newTarget, newDestination, newSource);
            m_TargetRect = newTarget;
            m_SrcRect = newSource;
            m_DstRect = newDestination;
        }
        if (changed)
            CreateBitmaps();
    }
    V77DX_CATCH()
    return S_OK;
}

STDMETHODIMP CV77GDIRendererBase::Invalidate()
{
    try {
        Repaint();
    }
    V77DX_CATCH()
    return S_OK;
}

STDMETHODIMP CV77GDIRendererBase::GetCurrentImage(BITMAPINFOHEADER**, BOOL)
{
    return E_NOTIMPL;
}

STDMETHODIMP CV77GDIRendererBase::DrawOverlay(HDC dc, BOOL repaint)
{
    if (!dc)
        return E_POINTER;
    try {
        {
            CV77AutoSync lock(m_GdiLock);
            if (m_hOverlayBitmap) {
                BitBlt(m_hOverlayDC.Handle(), 0, 0, m_hOverlayBitmap.Width(), m_hOverlayBitmap.Height(), dc, 0, 0,
                       SRCCOPY);
                GdiFlush();
            }
        }
        if (repaint)
            Repaint();
    }
    V77DX_CATCH()
    return S_OK;
}

STDMETHODIMP CV77GDIRendererBase::SetColorKey(COLORREF key)
{
    CV77AutoSync lock(m_GdiLock);
    m_ColorKey = key;
    return S_OK;
}

STDMETHODIMP CV77GDIRendererBase::GetColorKey(COLORREF* key)
{
    if (!key)
        return E_POINTER;
    CV77AutoSync lock(m_GdiLock);
    *key = m_ColorKey;
    return m_ColorKey == CLR_INVALID ? S_FALSE : S_OK;
}

STDMETHODIMP CV77GDIRendererBase::ClearColorKey()
{
    CV77AutoSync lock(m_GdiLock);
    m_ColorKey = CLR_INVALID;
    return S_OK;
}

STDMETHODIMP CV77GDIRendererBase::EnableOverlay(BOOL enable, BOOL repaint)
{
    {
        CV77AutoSync lock(m_GdiLock);
        m_bOverlayEnabled = enable != FALSE;
    }
    if (repaint) {
        try {
            Repaint();
        }
        V77DX_CATCH()
    }
    return S_OK;
}

STDMETHODIMP CV77GDIRendererBase::ClearImage()
{
    CV77AutoSync lock(m_GdiLock);
    if (m_pFrameBits) {
        // GDI may still be writing into the section.
        GdiFlush();
        memset(m_pFrameBits, 0, static_cast<size_t>(m_hFrameBitmap.Stride()) * m_hFrameBitmap.Height());
    }
    return S_OK;
}

// ---- connection ----

HRESULT CV77GDIRendererBase::SetMediaType(const CMediaType* mt)
{
    if (!mt)
        return E_POINTER;
    if (HasMediaType())
        return E_FAIL;
    const BITMAPINFOHEADER* header = GetBitmapInfoHeaderFromMediaType(*mt);
    const bool rgbInput = *mt->Subtype() == MEDIASUBTYPE_RGB24;
    // The drawing steps read the layouts they were chosen for, nothing else.
    if (!ChooseSteps(*mt->Subtype()) || !header || (rgbInput && header->biBitCount != 24))
        return V77_E_STREAM_CHANGED;
    CV77RendererBase::SetMediaType(mt);

    ComPtr<IV77PoolItem> rgbFrame = CreatePoolItem(static_cast<DWORD>(RgbStride() * m_Height));
    {
        CV77AutoSync lock(m_GdiLock);
        m_TargetRect = m_SrcRect = m_DstRect = WholeImage();
        m_pRgbFrame = rgbFrame;
        MakeBitmapInfo(*header, rgbInput);
        m_bBottomUp = rgbInput && header->biHeight > 0;
    }
    CreateBitmaps();
    return S_OK;
}

bool CV77GDIRendererBase::ChooseSteps(const GUID& subtype)
{
    CV77AutoSync lock(m_GdiLock);
    if (subtype == MEDIASUBTYPE_RGB24) {
        m_DeinterlaceStep = &CV77GDIRendererBase::DeinterlaceRgb24;
        m_AdjustStep = &CV77GDIRendererBase::AdjustRgb24;
        m_ConvertStep = &CV77GDIRendererBase::NoStep;
    } else if (subtype == MEDIASUBTYPE_YUY2) {
        m_DeinterlaceStep = &CV77GDIRendererBase::DeinterlaceYuy2;
        m_AdjustStep = &CV77GDIRendererBase::AdjustYuy2;
        m_ConvertStep = &CV77GDIRendererBase::ConvertYuy2;
    } else if (subtype == MEDIASUBTYPE_YV12 || subtype == MEDIASUBTYPE_I420) {
        m_DeinterlaceStep = &CV77GDIRendererBase::DeinterlacePlanar;
        m_AdjustStep = &CV77GDIRendererBase::AdjustPlanar;
        m_ConvertStep = subtype == MEDIASUBTYPE_YV12 ? &CV77GDIRendererBase::ConvertYv12
                                                     : &CV77GDIRendererBase::ConvertI420;
    } else {
        return false;
    }
    return true;
}

void CV77GDIRendererBase::MakeBitmapInfo(const BITMAPINFOHEADER& input, bool rgbInput)
{
    auto info = std::make_unique<BITMAPINFOHEADER>(input);
    info->biSize = sizeof(BITMAPINFOHEADER);
    info->biWidth = m_Width;
    // Converted pictures are written top row first; RGB input keeps its own order.
    info->biHeight = rgbInput ? input.biHeight : -m_Height;
    info->biPlanes = 1;
    info->biBitCount = 24;
    info->biCompression = BI_RGB;
    info->biSizeImage = 0;
    info->biClrUsed = 0;
    info->biClrImportant = 0;
    m_pBitmapInfo = std::move(info);
}

bool CV77GDIRendererBase::IsReadyToRender()
{
    CV77AutoSync lock(m_GdiLock);
    return static_cast<bool>(m_hFrameBitmap);
}

void CV77GDIRendererBase::ReleaseCurrentFrame()
{
    CV77AutoSync lock(m_FrameLock);
    if (!m_pCurrent || m_pCurrent.Get() == m_pCopyFrame.Get())
        return;
    ComPtr<IMediaSample> sample;
    HRESULT hr = m_pCurrent.As(&sample);
    if (SUCCEEDED(hr))
        hr = CopyToOwnFrame(sample.Get());
    if (FAILED(hr)) {
        g_ErrorHandling.WriteLog("%s: the frame on screen could not be kept (0x%08lX)\n", kV77DxRendererModule,
                                 static_cast<unsigned long>(hr));
        m_pCurrent.Reset();
    }
}

// ---- bitmaps ----

void CV77GDIRendererBase::CreateBitmaps()
{
    // Before m_GdiLock: the frame lock always comes first.
    ReleaseCurrentFrame();
    CV77AutoSync lock(m_GdiLock);
    DeleteBitmaps();
    RECT target = {};
    GetTargetRect(&target);
    if (WidthOf(target) <= 0 || HeightOf(target) <= 0)
        return;
    if (!m_hFrameBitmap.Create(m_hFrameDC.Handle(), WidthOf(target), HeightOf(target)))
        V77DX_THROW_WIN32();
    SetStretchBltMode(m_hFrameDC.Handle(), COLORONCOLOR);
    if (!m_hOverlayBitmap.Create(m_hOverlayDC.Handle(), WidthOf(target), HeightOf(target))) {
        const DWORD error = GetLastError();
        m_hFrameBitmap.Reset();
        SetLastError(error);
        V77DX_THROW_WIN32();
    }
    m_pFrameBits = m_hFrameBitmap.Bits();
}

void CV77GDIRendererBase::DeleteBitmaps()
{
    m_pFrameBits = nullptr;
    m_hFrameBitmap.Reset();
    m_hOverlayBitmap.Reset();
}

// ---- drawing ----

void CV77GDIRendererBase::DrawFrame(IV77PoolItem* frame, HDC dc, const RECT& destination)
{
    CV77AutoSync lock(m_GdiLock);
    // An overlay without a key covers the whole picture: the frame is not even converted.
    if (frame && (!m_bOverlayEnabled || m_ColorKey != CLR_INVALID))
        DrawVideo(frame, dc, destination);
    if (m_bOverlayEnabled)
        DrawOverlayBitmap(dc);
    GdiFlush();
}

void CV77GDIRendererBase::DrawVideo(IV77PoolItem* frame, HDC dc, const RECT& destination)
{
    BYTE* pixels = nullptr;
    // S_OK marks a command record, which carries no picture.
    if (frame->GetData(reinterpret_cast<void**>(&pixels)) == S_OK || !pixels || !m_pBitmapInfo)
        return;
    if (m_bDeinterlace)
        (this->*m_DeinterlaceStep)(&pixels);
    if (!IsAdjustmentNeutral())
        (this->*m_AdjustStep)(&pixels);
    (this->*m_ConvertStep)(&pixels);
    StretchDIBits(dc, destination.left, destination.top, WidthOf(destination), HeightOf(destination),
                  m_SrcRect.left, m_SrcRect.top, WidthOf(m_SrcRect), HeightOf(m_SrcRect), pixels,
                  reinterpret_cast<const BITMAPINFO*>(m_pBitmapInfo.get()), DIB_RGB_COLORS, SRCCOPY);
}

void CV77GDIRendererBase::DrawOverlayBitmap(HDC dc)
{
    if (!m_hOverlayBitmap)
        return;
    const LONG width = m_hOverlayBitmap.Width();
    const LONG height = m_hOverlayBitmap.Height();
    if (m_ColorKey == CLR_INVALID)
        BitBlt(dc, 0, 0, width, height, m_hOverlayDC.Handle(), 0, 0, SRCCOPY);
    else
        TransparentBlt(dc, 0, 0, width, height, m_hOverlayDC.Handle(), 0, 0, width, height, m_ColorKey);
}

// ---- rectangles ----

RECT CV77GDIRendererBase::WholeImage() const
{
    return RECT{0, 0, m_Width, m_Height};
}

RECT CV77GDIRendererBase::OrWholeImage(const RECT* rect) const
{
    return rect && HasArea(*rect) ? *rect : WholeImage();
}

RECT CV77GDIRendererBase::FlippedSource(const RECT& source) const
{
    // StretchDIBits measures source rows from the bottom of the DIB, also for
    // top-down DIBs, so the host's top-origin rectangle is turned over.
    RECT flipped = {source.left, m_Height - source.top, source.right, m_Height - source.bottom};
    if (flipped.top > flipped.bottom)
        std::swap(flipped.top, flipped.bottom);
    if (flipped.left > flipped.right)
        std::swap(flipped.left, flipped.right);
    return flipped;
}

// ---- per-format steps ----

BYTE* CV77GDIRendererBase::DataOf(IV77PoolItem* item)
{
    BYTE* data = nullptr;
    if (item)
        item->GetData(reinterpret_cast<void**>(&data));
    return data;
}

void CV77GDIRendererBase::DeinterlaceRgb24(BYTE** pixels)
{
    BYTE* scratch = DataOf(m_pScratch.Get());
    const int stride = RgbStride();
    V77Deinterlace(*pixels, stride, scratch, stride, m_DeinterlaceWeight, m_Width * 3, m_Height);
    *pixels = scratch;
}

void CV77GDIRendererBase::DeinterlaceYuy2(BYTE** pixels)
{
    BYTE* scratch = DataOf(m_pScratch.Get());
    const int step = m_Width * 2;
    V77Deinterlace(*pixels, step, scratch, step, m_DeinterlaceWeight, step, m_Height);
    *pixels = scratch;
}

void CV77GDIRendererBase::DeinterlacePlanar(BYTE** pixels)
{
    BYTE* scratch = DataOf(m_pScratch.Get());
    const size_t lumaBytes = static_cast<size_t>(m_Width) * m_Height;
    V77Deinterlace(*pixels, m_Width, scratch, m_Width, m_DeinterlaceWeight, m_Width, m_Height);
    memcpy(scratch + lumaBytes, *pixels + lumaBytes, FrameBytes() - lumaBytes);
    *pixels = scratch;
}

void CV77GDIRendererBase::AdjustRgb24(BYTE** pixels)
{
    BYTE* scratch = DataOf(m_pScratch.Get());
    // Every colour byte is treated as luma. The routine steps its source by
    // the row length, so rows are taken whole with their padding: source and
    // destination then share one layout (also in place, after deinterlacing).
    const int stride = RgbStride();
    (this->*m_AdjustLuma)(*pixels, scratch, stride, stride, m_Height);
    *pixels = scratch;
}

void CV77GDIRendererBase::AdjustYuy2(BYTE** pixels)
{
    BYTE* scratch = DataOf(m_pScratch.Get());
    (this->*m_AdjustYuy2)(*pixels, scratch, m_Width * 2);
    *pixels = scratch;
}

void CV77GDIRendererBase::AdjustPlanar(BYTE** pixels)
{
    BYTE* scratch = DataOf(m_pScratch.Get());
    const size_t lumaBytes = static_cast<size_t>(m_Width) * m_Height;
    (this->*m_AdjustLuma)(*pixels, scratch, m_Width, m_Width, m_Height);
    (this->*m_AdjustChroma)(*pixels + lumaBytes, scratch + lumaBytes, m_Width);
    *pixels = scratch;
}

void CV77GDIRendererBase::ConvertYuy2(BYTE** pixels)
{
    BYTE* rgb = DataOf(m_pRgbFrame.Get());
    V77Yuy2ToBgr24(*pixels, m_Width * 2, rgb, RgbStride(), m_Width, m_Height);
    *pixels = rgb;
}

void CV77GDIRendererBase::ConvertYv12(BYTE** pixels)
{
    const size_t lumaBytes = static_cast<size_t>(m_Width) * m_Height;
    ConvertPlanar(pixels, lumaBytes * 5 / 4, lumaBytes);
}

void CV77GDIRendererBase::ConvertI420(BYTE** pixels)
{
    const size_t lumaBytes = static_cast<size_t>(m_Width) * m_Height;
    ConvertPlanar(pixels, lumaBytes, lumaBytes * 5 / 4);
}

void CV77GDIRendererBase::ConvertPlanar(BYTE** pixels, size_t uOffset, size_t vOffset)
{
    BYTE* rgb = DataOf(m_pRgbFrame.Get());
    const uint8_t* planes[3] = {*pixels, *pixels + uOffset, *pixels + vOffset};
    const int steps[3] = {m_Width, m_Width / 2, m_Width / 2};
    V77Yuv420ToBgr24(planes, steps, rgb, RgbStride(), m_Width, m_Height);
    *pixels = rgb;
}
