#include "display/CV77DxRenderer.h"

#include <cstring>
#include <new>
#include <utility>
#include <uuids.h>

#include "companions/V77Sync/CV77AutoSync.h"
#include "companions/V77Media/V77Media.h"
#include "display/V77DxRendererErrors.h"
#include "kernels/Deinterlace.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kFourCCYuy2 = MAKEFOURCC('Y', 'U', 'Y', '2');
constexpr DWORD kFourCCYv12 = MAKEFOURCC('Y', 'V', '1', '2');
constexpr DWORD kFourCCI420 = MAKEFOURCC('I', '4', '2', '0');

BYTE* DataOf(IV77PoolItem* item)
{
    void* data = nullptr;
    if (item)
        item->GetData(&data);
    return static_cast<BYTE*>(data);
}

// Whether the format block describes what the subtype says.
bool HeaderMatchesSubtype(const BITMAPINFOHEADER& h, const GUID& subtype)
{
    if (subtype == MEDIASUBTYPE_RGB32)
        return (h.biCompression == BI_RGB || h.biCompression == BI_BITFIELDS) && h.biBitCount == 32;
    if (subtype == MEDIASUBTYPE_RGB24)
        return h.biCompression == BI_RGB && h.biBitCount == 24;
    if (subtype == MEDIASUBTYPE_RGB565)
        return (h.biCompression == BI_RGB || h.biCompression == BI_BITFIELDS) && h.biBitCount == 16;
    if (subtype == MEDIASUBTYPE_YUY2)
        return h.biCompression == kFourCCYuy2 && h.biBitCount == 16;
    if (subtype == MEDIASUBTYPE_YV12)
        return h.biCompression == kFourCCYv12 && h.biBitCount == 12;
    if (subtype == MEDIASUBTYPE_I420)
        return h.biCompression == kFourCCI420 && h.biBitCount == 12;
    return false;
}

}  // namespace

CUnknown* WINAPI CV77DxRenderer::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    HRESULT ignored = S_OK;
    if (!phr)
        phr = &ignored;
    *phr = S_OK;
    auto* renderer = new (std::nothrow) CV77DxRenderer(outer, phr);
    if (!renderer)
        *phr = E_OUTOFMEMORY;
    return renderer;
}

CV77DxRenderer::CV77DxRenderer(LPUNKNOWN outer, HRESULT* phr)
    : CV77RendererBase(TEXT("Varnokel77 Direct Draw Overlay renderer"), outer, CLSID_V77DxRenderer, phr),
      m_hWndHost(nullptr),
      m_Index(-1),
      m_CopyFrame(nullptr),
      m_RowBytes(0)
{
    try {
        OfferDisplaySubtypes();
    } catch (...) {
        // Without DirectDraw the filter cannot show anything: creation fails.
        const HRESULT hr = V77HandleException(kV77DxRendererModule, __LINE__);
        if (phr && SUCCEEDED(*phr))
            *phr = hr;
    }
}

CV77DxRenderer::CV77DxRenderer(LPUNKNOWN outer, HRESULT* phr, const GUID* subtypes, int count)
    : CV77RendererBase(TEXT("Varnokel77 Direct Draw Overlay renderer"), outer, CLSID_V77DxRenderer, phr),
      m_hWndHost(nullptr),
      m_Index(-1),
      m_CopyFrame(nullptr),
      m_RowBytes(0)
{
    for (int i = 0; i < count && i < kMaxSubtypes; ++i)
        m_Subtypes[m_SubtypeCount++] = subtypes[i];
}

CV77DxRenderer::~CV77DxRenderer()
{
    std::unique_ptr<CDisplayWindow> window, retired;
    {
        CV77AutoSync lock(m_FrameLock);
        window = TearDownDisplay();
        if (!window)
            window = std::move(m_pWindow);
        retired = std::move(m_pRetired);
    }
}

void CV77DxRenderer::OfferDisplaySubtypes()
{
    CDirectDrawDevice device;
    if (device.Initialize(nullptr)) {
        const struct {
            DWORD fourCC;
            const GUID* subtype;
        } yuv[] = {{kFourCCYv12, &MEDIASUBTYPE_YV12}, {kFourCCYuy2, &MEDIASUBTYPE_YUY2}, {kFourCCI420, &MEDIASUBTYPE_I420}};
        for (const auto& f : yuv) {
            if (device.IsFourCCSupported(f.fourCC))
                m_Subtypes[m_SubtypeCount++] = *f.subtype;
        }
    }
    const DDPIXELFORMAT format = device.PrimaryFormat();
    if (!(format.dwFlags & DDPF_RGB))
        return;
    switch (format.dwRGBBitCount) {
    case 16:
        m_Subtypes[m_SubtypeCount++] = MEDIASUBTYPE_RGB565;
        break;
    case 24:
        m_Subtypes[m_SubtypeCount++] = MEDIASUBTYPE_RGB24;
        break;
    case 32:
        m_Subtypes[m_SubtypeCount++] = MEDIASUBTYPE_RGB32;
        break;
    default:
        break;
    }
}

// ---- display set-up ----

void CV77DxRenderer::SetUpDisplay()
{
    const BITMAPINFOHEADER* header = GetBitmapInfoHeaderFromMediaType(m_MediaType);
    if (!header)
        V77DX_THROW_APP("Unsupported Subtype");
    DWORD fourCC = 0;
    CopyFrameFn copy = nullptr;
    int rowBytes = 0;
    bool rgb = false;
    switch (header->biCompression) {
    case BI_RGB:
        if (header->biBitCount == 16) {
            copy = &CV77DxRenderer::CopyRgb565;
            rowBytes = m_Width * 2;
        } else if (header->biBitCount == 24 || header->biBitCount == 32) {
            copy = &CV77DxRenderer::CopyRgb;
            rowBytes = RgbStride();
        } else {
            V77DX_THROW_APP("Usupported RGB Subtype");
        }
        rgb = true;
        break;
    case BI_BITFIELDS:
        // Treated as 16-bit RGB.
        copy = &CV77DxRenderer::CopyRgb565;
        rowBytes = m_Width * 2;
        rgb = true;
        break;
    case kFourCCYv12:
    case kFourCCI420:
        fourCC = header->biCompression;
        copy = &CV77DxRenderer::CopyPlanar;
        rowBytes = m_Width;
        break;
    case kFourCCYuy2:
        fourCC = kFourCCYuy2;
        copy = &CV77DxRenderer::CopyYuy2;
        rowBytes = m_Width * 2;
        break;
    default:
        V77DX_THROW_APP("Unsupported Subtype");
    }

    m_pWindow->Attach(m_hWndHost);
    // RGB rows come bottom-up unless the header says otherwise; the display
    // window turns them while composing.
    m_bBottomUp = rgb && header->biHeight > 0;
    m_pWindow->SetMirror(m_bBottomUp);
    for (auto& surface : m_pSurfaces) {
        surface.Reset();
        m_pWindow->Device().CreateOffscreenSurface(m_Width, m_Height, fourCC, surface.GetAddressOf());
    }
    m_RowBytes = rowBytes;
    m_CopyFrame = copy;
    m_Index = 0;
}

std::unique_ptr<CDisplayWindow> CV77DxRenderer::TearDownDisplay()
{
    ReleaseCurrentFrame();
    ReleaseSurfaces();
    if (!m_pWindow)
        return nullptr;
    // A destroyed window has already let go of its procedure.
    HWND window = m_pWindow->Window();
    if (window && IsWindow(window))
        m_pWindow->UnsubclassWindow();
    if (m_pWindow->IsHandlingMessage()) {
        // Called from inside one of its own messages: kept until later.
        if (m_pRetired && !m_pRetired->IsHandlingMessage())
            m_pRetired.reset();
        if (!m_pRetired)
            m_pRetired = std::move(m_pWindow);
        return nullptr;
    }
    return std::move(m_pWindow);
}

void CV77DxRenderer::ReleaseSurfaces()
{
    m_CopyFrame = nullptr;
    m_pSurfaces[0].Reset();
    m_pSurfaces[1].Reset();
    m_Index = -1;
}

// ---- IV77DxRenderer ----

STDMETHODIMP CV77DxRenderer::SetWindow(HWND window)
{
    // Deleted on return, outside the frame lock.
    std::unique_ptr<CDisplayWindow> old;
    try {
        CV77AutoSync lock(m_FrameLock);
        old = TearDownDisplay();
        m_hWndHost = window;
        // No window means no display: frames are dropped until the host gives one.
        if (!window)
            return S_OK;
        std::unique_ptr<CDisplayWindow> created(new (std::nothrow) CDisplayWindow());
        if (!created)
            V77DX_THROW_HR(E_OUTOFMEMORY);
        m_pWindow = std::move(created);
        if (HasMediaType())
            SetUpDisplay();
    }
    V77DX_CATCH_RETURN(E_FAIL)
    return S_OK;
}

STDMETHODIMP CV77DxRenderer::SetRects(const RECT*, const RECT* source, const RECT* destination)
{
    try {
        CV77AutoSync lock(m_FrameLock);
        if (!m_pWindow)
            return E_FAIL;
        RECT flipped;
        if (source && m_bBottomUp) {
            flipped = *source;
            flipped.top = m_Height - source->top;
            flipped.bottom = m_Height - source->bottom;
            if (flipped.top > flipped.bottom)
                std::swap(flipped.top, flipped.bottom);
            source = &flipped;
        }
        m_pWindow->SetRects(source, destination);
    }
    V77DX_CATCH_RETURN(E_FAIL)
    return S_OK;
}

STDMETHODIMP CV77DxRenderer::Invalidate()
{
    try {
        HWND window = nullptr;
        {
            CV77AutoSync lock(m_FrameLock);
            if (m_pWindow)
                window = m_pWindow->Window();
        }
        if (!window)
            return S_FALSE;
        // Not under the frame lock: the window's thread paints inside this call.
        if (!RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW))
            return HRESULT_FROM_WIN32(GetLastError());
    }
    V77DX_CATCH_RETURN(E_FAIL)
    return S_OK;
}

STDMETHODIMP CV77DxRenderer::GetCurrentImage(BITMAPINFOHEADER** image, BOOL fromComposition)
{
    try {
        if (!image)
            return E_POINTER;
        *image = nullptr;
        CV77AutoSync lock(m_FrameLock);
        if (!m_pWindow)
            return E_FAIL;
        m_pWindow->GetCurrentImage(image, fromComposition != FALSE);
    }
    V77DX_CATCH_RETURN(E_FAIL)
    return S_OK;
}

STDMETHODIMP CV77DxRenderer::DrawOverlay(HDC dc, BOOL repaint)
{
    try {
        CV77AutoSync lock(m_FrameLock);
        if (!m_pWindow)
            return E_FAIL;
        m_pWindow->DrawOverlay(dc, repaint != FALSE);
    }
    V77DX_CATCH_RETURN(E_FAIL)
    return S_OK;
}

STDMETHODIMP CV77DxRenderer::SetColorKey(COLORREF key)
{
    try {
        CV77AutoSync lock(m_FrameLock);
        if (!m_pWindow)
            return E_FAIL;
        m_pWindow->SetColorKey(key);
    }
    V77DX_CATCH_RETURN(E_FAIL)
    return S_OK;
}

STDMETHODIMP CV77DxRenderer::GetColorKey(COLORREF* key)
{
    try {
        if (!key)
            return E_POINTER;
        CV77AutoSync lock(m_FrameLock);
        if (!m_pWindow)
            return E_FAIL;
        *key = m_pWindow->ColorKey();
        return *key == CLR_INVALID ? S_FALSE : S_OK;
    }
    V77DX_CATCH_RETURN(E_FAIL)
}

STDMETHODIMP CV77DxRenderer::ClearColorKey()
{
    try {
        CV77AutoSync lock(m_FrameLock);
        if (!m_pWindow)
            return E_FAIL;
        m_pWindow->ClearColorKey();
    }
    V77DX_CATCH_RETURN(E_FAIL)
    return S_OK;
}

STDMETHODIMP CV77DxRenderer::EnableOverlay(BOOL enable, BOOL repaint)
{
    try {
        CV77AutoSync lock(m_FrameLock);
        if (!m_pWindow)
            return E_FAIL;
        m_pWindow->EnableOverlay(enable != FALSE, repaint != FALSE);
    }
    V77DX_CATCH_RETURN(E_FAIL)
    return S_OK;
}

STDMETHODIMP CV77DxRenderer::ClearImage()
{
    try {
        CV77AutoSync lock(m_FrameLock);
        if (!m_pWindow)
            return S_FALSE;
        m_pWindow->ClearComposition();
    }
    V77DX_CATCH_RETURN(E_FAIL)
    return S_OK;
}

// ---- filter ----

STDMETHODIMP CV77DxRenderer::Pause()
{
    {
        CV77AutoSync lock(m_FrameLock);
        if (m_pWindow)
            m_pWindow->ClearRepaintPending();
    }
    return CV77RendererBase::Pause();
}

HRESULT CV77DxRenderer::CheckMediaType(const CMediaType* mt)
{
    HRESULT hr = CV77RendererBase::CheckMediaType(mt);
    if (hr != S_OK)
        return hr;
    // A header that contradicts the subtype would make the copies read or
    // write past the frame.
    const BITMAPINFOHEADER* header = GetBitmapInfoHeaderFromMediaType(*mt);
    if (!header || header->biWidth <= 0 || header->biHeight == 0 || !HeaderMatchesSubtype(*header, *mt->Subtype()))
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT CV77DxRenderer::SetMediaType(const CMediaType* mt)
{
    // The format is fixed for the object's life: the surfaces are made for it.
    if (HasMediaType())
        return S_OK;
    CV77RendererBase::SetMediaType(mt);
    CV77AutoSync lock(m_FrameLock);
    if (m_pWindow)
        SetUpDisplay();
    return S_OK;
}

bool CV77DxRenderer::IsReadyToRender()
{
    CV77AutoSync lock(m_FrameLock);
    return m_pWindow && m_CopyFrame;
}

void CV77DxRenderer::RenderFrame(IV77PoolItem* frame)
{
    if (!m_pWindow || !m_CopyFrame || m_Index < 0)
        return;
    const BYTE* pixels = DataOf(frame);
    if (!pixels)
        return;
    ComPtr<IDirectDrawSurface7> surface;
    if ((this->*m_CopyFrame)(m_Index, pixels, surface.GetAddressOf())) {
        HWND window = m_pWindow->Window();
        if (window)
            PostMessageW(window, WM_V77_OVERLAY_REDRAW, 0, 0);
    }
    m_pWindow->SetVideoSurface(surface.Get());
    m_Index ^= 1;
}

// ---- frame copies ----

int CV77DxRenderer::RgbStride() const
{
    return (m_Width * static_cast<int>(m_BitCount) / 8 + 3) & ~3;
}

bool CV77DxRenderer::CopyInto(int index, const BYTE* pixels, CopyBodyFn body, IDirectDrawSurface7** surface)
{
    IDirectDrawSurface7* target = m_pSurfaces[index].Get();
    CDirectDrawDevice& device = m_pWindow->Device();
    DDSURFACEDESC2 desc;
    const bool restored = device.LockSurface(target, &desc);
    try {
        if (desc.lPitch < m_RowBytes || desc.dwHeight < static_cast<DWORD>(m_Height))
            V77DX_THROW_APP("Unsupported Subtype");
        (this->*body)(pixels, static_cast<BYTE*>(desc.lpSurface), static_cast<int>(desc.lPitch));
    } catch (...) {
        device.UnlockSurface(target);
        throw;
    }
    device.UnlockSurface(target);
    target->AddRef();
    *surface = target;
    return restored;
}

bool CV77DxRenderer::CopyYuy2(int index, const BYTE* pixels, IDirectDrawSurface7** surface)
{
    return CopyInto(index, pixels, &CV77DxRenderer::WriteYuy2, surface);
}

bool CV77DxRenderer::CopyPlanar(int index, const BYTE* pixels, IDirectDrawSurface7** surface)
{
    return CopyInto(index, pixels, &CV77DxRenderer::WritePlanar, surface);
}

bool CV77DxRenderer::CopyRgb(int index, const BYTE* pixels, IDirectDrawSurface7** surface)
{
    return CopyInto(index, pixels, &CV77DxRenderer::WriteRgb, surface);
}

bool CV77DxRenderer::CopyRgb565(int index, const BYTE* pixels, IDirectDrawSurface7** surface)
{
    return CopyInto(index, pixels, &CV77DxRenderer::WriteRgb565, surface);
}

void CV77DxRenderer::CopyRows(const BYTE* src, BYTE* dst, int pitch, int rowBytes, int rows) const
{
    const bool lineDouble = m_bLineDouble;
    if (!lineDouble && pitch == rowBytes) {
        memcpy(dst, src, static_cast<size_t>(rowBytes) * rows);
        return;
    }
    for (int y = 0; y < rows; ++y) {
        // Line doubling shows the first field: rows 2k and 2k+1 both from 2k.
        const int from = lineDouble ? (y & ~1) : y;
        memcpy(dst + static_cast<size_t>(y) * pitch, src + static_cast<size_t>(from) * rowBytes, rowBytes);
    }
}

const BYTE* CV77DxRenderer::DeinterlaceToScratch(const BYTE* src, int rowBytes, int rows)
{
    BYTE* scratch = DataOf(m_pScratch.Get());
    V77Deinterlace(src, rowBytes, scratch, rowBytes, m_DeinterlaceWeight, rowBytes, rows);
    return scratch;
}

void CV77DxRenderer::WriteYuy2(const BYTE* pixels, BYTE* dst, int pitch)
{
    const int rowBytes = m_Width * 2;
    if (IsNeutral()) {
        if (m_bDeinterlace)
            V77Deinterlace(pixels, rowBytes, dst, pitch, m_DeinterlaceWeight, rowBytes, m_Height);
        else
            CopyRows(pixels, dst, pitch, rowBytes, m_Height);
        return;
    }
    if (m_bDeinterlace)
        pixels = DeinterlaceToScratch(pixels, rowBytes, m_Height);
    (this->*m_AdjustYuy2)(pixels, dst, pitch);
}

void CV77DxRenderer::WritePlanar(const BYTE* pixels, BYTE* dst, int pitch)
{
    const size_t lumaBytes = static_cast<size_t>(m_Width) * m_Height;
    BYTE* chromaDst = dst + static_cast<size_t>(pitch) * m_Height;
    const BYTE* chroma = pixels + lumaBytes;
    if (IsNeutral()) {
        if (m_bDeinterlace)
            V77Deinterlace(pixels, m_Width, dst, pitch, m_DeinterlaceWeight, m_Width, m_Height);
        else
            CopyRows(pixels, dst, pitch, m_Width, m_Height);
        // Both quarter-size planes in one pass: height rows of half a row each.
        const int half = m_Width / 2;
        for (int y = 0; y < m_Height; ++y)
            memcpy(chromaDst + static_cast<size_t>(y) * (pitch / 2), chroma + static_cast<size_t>(y) * half, half);
        return;
    }
    const BYTE* luma = m_bDeinterlace ? DeinterlaceToScratch(pixels, m_Width, m_Height) : pixels;
    (this->*m_AdjustLuma)(luma, dst, pitch, m_Width, m_Height);
    (this->*m_AdjustChroma)(chroma, chromaDst, pitch);
}

void CV77DxRenderer::WriteRgb(const BYTE* pixels, BYTE* dst, int pitch)
{
    // Every colour byte is treated as luma; neutral settings copy unchanged.
    const int stride = RgbStride();
    if (m_bDeinterlace)
        pixels = DeinterlaceToScratch(pixels, stride, m_Height);
    (this->*m_AdjustLuma)(pixels, dst, pitch, stride, m_Height);
}

void CV77DxRenderer::WriteRgb565(const BYTE* pixels, BYTE* dst, int pitch)
{
    (this->*m_AdjustRgb565)(pixels, dst, pitch);
}
