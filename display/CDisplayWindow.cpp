#include "display/CDisplayWindow.h"

#include <cstring>
#include <objbase.h>

#include "companions/V77Sync/CV77AutoSync.h"
#include "display/DisplayWindowErrors.h"
#include "v77/IV77DxRenderer.h"

using Microsoft::WRL::ComPtr;

namespace {

// The DirectDraw renderer's CLSID: its parameters live under it.
constexpr wchar_t kParametersKey[] = L"CLSID\\{B80D6ED7-7340-4da5-AEA9-93610B81239E}\\Parameters";

constexpr DWORD kFourCCYuy2 = MAKEFOURCC('Y', 'U', 'Y', '2');
constexpr DWORD kFourCCYv12 = MAKEFOURCC('Y', 'V', '1', '2');
constexpr DWORD kFourCCI420 = MAKEFOURCC('I', '4', '2', '0');

bool RegistryFlag(HKEY key, const wchar_t* name)
{
    DWORD type = 0, value = 0, size = sizeof value;
    return RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
           type == REG_DWORD && value != 0;
}

bool IsEmpty(const RECT& r)
{
    return r.right <= r.left || r.bottom <= r.top;
}

// Counts the window thread's presence in a handler.
class CHandlingScope {
public:
    explicit CHandlingScope(std::atomic<int>& count) : m_Count(count) { ++m_Count; }
    ~CHandlingScope() { --m_Count; }
    CHandlingScope(const CHandlingScope&) = delete;
    CHandlingScope& operator=(const CHandlingScope&) = delete;

private:
    std::atomic<int>& m_Count;
};

// Layout of a surface as a packed DIB.
struct DibLayout {
    WORD bitCount;
    DWORD compression;
    LONG dibHeight;
    size_t rowBytes;
    size_t imageBytes;
    bool planar;
};

DibLayout LayoutOf(const DDSURFACEDESC2& desc)
{
    const DDPIXELFORMAT& pf = desc.ddpfPixelFormat;
    const size_t w = desc.dwWidth, h = desc.dwHeight;
    if (pf.dwFlags & DDPF_RGB) {
        if (pf.dwRGBBitCount != 24 && pf.dwRGBBitCount != 32)
            V77DW_THROW_APP("Unsupported RGB format");
        const size_t row = (w * pf.dwRGBBitCount / 8 + 3) & ~static_cast<size_t>(3);
        return {static_cast<WORD>(pf.dwRGBBitCount), BI_RGB, -static_cast<LONG>(h), row, row * h, false};
    }
    if (pf.dwFlags & DDPF_FOURCC) {
        switch (pf.dwFourCC) {
        case kFourCCYv12:
        case kFourCCI420:
            return {12, pf.dwFourCC, static_cast<LONG>(h), w, w * h * 12 / 8, true};
        case kFourCCYuy2:
            return {16, pf.dwFourCC, static_cast<LONG>(h), w * 2, w * h * 2, false};
        default:
            V77DW_THROW_APP("Unsupported FOURCC format");
        }
    }
    V77DW_THROW_APP("Unsupported format");
}

void CopyRows(BYTE* dst, size_t dstStep, const BYTE* src, size_t srcStep, size_t rowBytes, size_t rows)
{
    for (size_t y = 0; y < rows; ++y)
        memcpy(dst + y * dstStep, src + y * srcStep, rowBytes);
}

}  // namespace

CDisplayWindow::CDisplayWindow()
    : m_Lock(4000),
      m_SrcRect(),
      m_DstRect(),
      m_bMirror(false),
      m_bOverlayEnabled(false),
      m_ColorKey(CLR_INVALID),
      m_KeyLow(0),
      m_KeyHigh(0),
      m_bSyncBlt(false),
      m_bComposed(false),
      m_RepaintPending(0),
      m_Present(&CDisplayWindow::PresentDirectDraw),
      m_hWnd(nullptr),
      m_Handling(0),
      m_Subclass(this)
{
    memset(&m_BltFx, 0, sizeof m_BltFx);
    m_BltFx.dwSize = sizeof m_BltFx;
    ReadRegistry();
}

CDisplayWindow::~CDisplayWindow()
{
    UnsubclassWindow();
    m_pComposition.Reset();
    m_pOverlay.Reset();
    m_pClipper.Reset();
    m_pVideo.Reset();
    m_pPrimary.Reset();
}

void CDisplayWindow::ReadRegistry()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, kParametersKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    if (RegistryFlag(key, L"UseGDI"))
        m_Present = &CDisplayWindow::PresentGdi;
    m_bSyncBlt = RegistryFlag(key, L"SyncBlt");
    RegCloseKey(key);
}

// ---- window ----

void CDisplayWindow::Attach(HWND window)
{
    if (!m_Subclass.Attach(window))
        V77DW_THROW_WIN32();
    m_hWnd = window;
    InitializeSurfaces();
}

void CDisplayWindow::InitializeSurfaces()
{
    HWND window = m_hWnd;
    m_Device.Initialize(window);
    m_pPrimary = m_Device.Primary();
    m_pClipper.Reset();
    V77DW_CHECK_HR(m_Device.DirectDraw()->CreateClipper(0, m_pClipper.GetAddressOf(), nullptr));
    V77DW_CHECK_HR(m_pClipper->SetHWnd(0, window));
    V77DW_CHECK_HR(m_pPrimary->SetClipper(m_pClipper.Get()));
    // A key the host set before there was a primary is matched now.
    const COLORREF key = m_ColorKey;
    if (key != CLR_INVALID) {
        const DWORD matched = m_Device.ColorMatch(key);
        CV77AutoSync lock(m_Lock);
        m_KeyLow = m_KeyHigh = matched;
    }
    RecreateSurfaces();
}

bool CDisplayWindow::UnsubclassWindow()
{
    const bool held = m_Subclass.Window() != nullptr;
    m_Subclass.Detach();
    m_hWnd = nullptr;
    return held;
}

void CDisplayWindow::RecreateSurfaces()
{
    HWND window = m_hWnd;
    RECT client = {};
    if (!window || !GetClientRect(window, &client) || IsEmpty(client))
        return;
    {
        CV77AutoSync lock(m_Lock);
        m_pOverlay.Reset();
        m_pComposition.Reset();
    }
    ComPtr<IDirectDrawSurface7> overlay, composition;
    m_Device.CreateOffscreenSurface(client.right, client.bottom, 0, overlay.GetAddressOf());
    m_Device.CreateOffscreenSurface(client.right, client.bottom, 0, composition.GetAddressOf());
    {
        CV77AutoSync lock(m_Lock);
        m_pOverlay = overlay;
        m_pComposition = composition;
    }
    RequestRepaint();
}

// ---- settings from the renderer ----

void CDisplayWindow::SetVideoSurface(IDirectDrawSurface7* surface)
{
    {
        CV77AutoSync lock(m_Lock);
        m_pVideo = surface;
    }
    RequestRepaint();
}

void CDisplayWindow::SetRects(const RECT* source, const RECT* destination)
{
    {
        CV77AutoSync lock(m_Lock);
        m_SrcRect = source ? *source : RECT{};
        m_DstRect = destination ? *destination : RECT{};
    }
    RequestRepaint();
}

void CDisplayWindow::SetColorKey(COLORREF key)
{
    if (key == m_ColorKey)
        return;
    m_ColorKey = key;
    if (key != CLR_INVALID && m_pPrimary) {
        const DWORD matched = m_Device.ColorMatch(key);
        CV77AutoSync lock(m_Lock);
        m_KeyLow = m_KeyHigh = matched;
    }
    RequestRepaint();
}

void CDisplayWindow::ClearColorKey()
{
    if (m_ColorKey == CLR_INVALID)
        return;
    m_ColorKey = CLR_INVALID;
    RequestRepaint();
}

void CDisplayWindow::EnableOverlay(bool enable, bool repaint)
{
    m_bOverlayEnabled = enable;
    if (repaint)
        RequestRepaint(true);
}

void CDisplayWindow::RequestRepaint(bool force)
{
    const LONG previous = InterlockedExchange(&m_RepaintPending, 1);
    HWND window = m_hWnd;
    if (window && (previous == 0 || force))
        PostMessageW(window, WM_V77_RENDER, 0, 0);
}

void CDisplayWindow::PostOverlayRedraw()
{
    HWND window = m_hWnd;
    if (window)
        PostMessageW(window, WM_V77_OVERLAY_REDRAW, 0, 0);
}

void CDisplayWindow::DrawOverlay(HDC dc, bool repaint)
{
    ComPtr<IDirectDrawSurface7> overlay;
    {
        CV77AutoSync lock(m_Lock);
        overlay = m_pOverlay;
    }
    if (!overlay)
        return;
    ComPtr<IDirectDrawSurface7> source;
    DDBLTFX fx = m_BltFx;
    DWORD flags = DDBLT_ASYNC;
    if (!m_Device.FindSurfaceForDC(dc, source.GetAddressOf())) {
        HGDIOBJ bitmap = GetCurrentObject(dc, OBJ_BITMAP);
        DIBSECTION section;
        memset(&section, 0, sizeof section);
        if (!bitmap || !GetObjectW(bitmap, sizeof section, &section))
            V77DW_THROW_WIN32();
        // Only a DIB section has pixels of its own to wrap.
        if (!section.dsBm.bmBits)
            V77DW_THROW_APP("Unsupported format");
        m_Device.CreateSurfaceOnMemory(section.dsBm.bmWidth, section.dsBm.bmHeight, section.dsBm.bmWidthBytes,
                                       section.dsBm.bmBitsPixel, section.dsBm.bmBits, source.GetAddressOf());
        // A bottom-up section keeps its last row first in memory.
        if (section.dsBmih.biHeight > 0) {
            fx.dwDDFX = DDBLTFX_MIRRORUPDOWN;
            flags |= DDBLT_DDFX;
        }
    }
    BltRestoring(overlay.Get(), nullptr, source.Get(), nullptr, flags, &fx);
    if (repaint)
        RequestRepaint();
}

void CDisplayWindow::ClearComposition()
{
    CV77AutoSync lock(m_Lock);
    if (!m_pComposition)
        return;
    DDSURFACEDESC2 desc;
    m_Device.LockSurface(m_pComposition.Get(), &desc);
    memset(desc.lpSurface, 0, static_cast<size_t>(desc.lPitch) * desc.dwHeight);
    m_Device.UnlockSurface(m_pComposition.Get());
}

void CDisplayWindow::GetCurrentImage(BITMAPINFOHEADER** image, bool fromComposition)
{
    if (!image)
        V77DW_THROW_HR(E_POINTER);
    *image = nullptr;
    ComPtr<IDirectDrawSurface7> surface;
    {
        CV77AutoSync lock(m_Lock);
        surface = fromComposition ? m_pComposition : m_pVideo;
    }
    if (!surface)
        V77DW_THROW_HR(E_UNEXPECTED);
    DDSURFACEDESC2 desc;
    m_Device.LockSurface(surface.Get(), &desc);
    try {
        const DibLayout layout = LayoutOf(desc);
        auto* header = static_cast<BITMAPINFOHEADER*>(CoTaskMemAlloc(sizeof(BITMAPINFOHEADER) + layout.imageBytes));
        if (!header)
            V77DW_THROW_HR(E_OUTOFMEMORY);
        memset(header, 0, sizeof *header);
        header->biSize = sizeof *header;
        header->biWidth = static_cast<LONG>(desc.dwWidth);
        header->biHeight = layout.dibHeight;
        header->biPlanes = 1;
        header->biBitCount = layout.bitCount;
        header->biCompression = layout.compression;
        header->biSizeImage = static_cast<DWORD>(layout.imageBytes);
        BYTE* dst = reinterpret_cast<BYTE*>(header + 1);
        const BYTE* src = static_cast<const BYTE*>(desc.lpSurface);
        const size_t pitch = static_cast<size_t>(desc.lPitch);
        const size_t rows = desc.dwHeight;
        if (layout.rowBytes == pitch) {
            memcpy(dst, src, layout.imageBytes);
        } else if (layout.planar) {
            // Luma at the pitch, then the two chroma planes at half the pitch.
            CopyRows(dst, layout.rowBytes, src, pitch, layout.rowBytes, rows);
            CopyRows(dst + layout.rowBytes * rows, layout.rowBytes / 2, src + pitch * rows, pitch / 2,
                     layout.rowBytes / 2, rows);
        } else {
            CopyRows(dst, layout.rowBytes, src, pitch, layout.rowBytes, rows);
        }
        *image = header;
    } catch (...) {
        m_Device.UnlockSurface(surface.Get());
        throw;
    }
    m_Device.UnlockSurface(surface.Get());
}

// ---- window thread ----

bool CDisplayWindow::HandleWindowMessage(HWND window, UINT message, WPARAM, LPARAM, LRESULT* result)
{
    *result = 0;
    CHandlingScope scope(m_Handling);
    // Nothing may cross the window procedure: the host's message loop is not ours.
    try {
        return OnMessage(window, message);
    } catch (...) {
        V77HandleException(kDisplayWindowModule, __LINE__);
        return message != WM_ERASEBKGND;
    }
}

bool CDisplayWindow::OnMessage(HWND window, UINT message)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        Present();
        return true;
    }
    case WM_ERASEBKGND: {
        CV77AutoSync lock(m_Lock);
        return m_pVideo != nullptr;
    }
    case WM_SIZE:
        RecreateSurfaces();
        SendMessageW(window, WM_V77_OVERLAY_REDRAW, 0, 0);
        return true;
    case WM_V77_RENDER: {
        // Cleared even when composing fails, or no repaint would ever be posted again.
        struct CClearPending {
            volatile LONG* flag;
            ~CClearPending() { InterlockedExchange(flag, 0); }
        } clear{&m_RepaintPending};
        Compose();
        return true;
    }
    default:
        return false;
    }
}

void CDisplayWindow::BltRestoring(IDirectDrawSurface7* target, RECT* targetRect, IDirectDrawSurface7* source,
                                  RECT* sourceRect, DWORD flags, DDBLTFX* fx)
{
    HRESULT hr = target->Blt(targetRect, source, sourceRect, flags, fx);
    if (hr == DDERR_SURFACELOST) {
        if (FAILED(m_Device.DirectDraw()->RestoreAllSurfaces()))
            return;
        PostOverlayRedraw();
        hr = target->Blt(targetRect, source, sourceRect, flags, fx);
    }
    V77DW_CHECK_HR(hr);
}

void CDisplayWindow::Compose()
{
    m_bComposed = false;
    ComPtr<IDirectDrawSurface7> video, composition, overlay;
    RECT src, dst;
    DWORD keyLow, keyHigh;
    {
        CV77AutoSync lock(m_Lock);
        video = m_pVideo;
        composition = m_pComposition;
        overlay = m_pOverlay;
        src = m_SrcRect;
        dst = m_DstRect;
        keyLow = m_KeyLow;
        keyHigh = m_KeyHigh;
    }
    if (video && composition) {
        DDBLTFX fx = m_BltFx;
        DWORD flags = DDBLT_ASYNC;
        if (m_bMirror) {
            fx.dwDDFX = DDBLTFX_MIRRORUPDOWN;
            flags |= DDBLT_DDFX;
        }
        BltRestoring(composition.Get(), IsEmpty(dst) ? nullptr : &dst, video.Get(), IsEmpty(src) ? nullptr : &src,
                     flags, &fx);
        m_bComposed = true;
    }
    if (m_bOverlayEnabled && overlay && composition) {
        DDBLTFX fx = m_BltFx;
        DWORD flags = DDBLT_ASYNC;
        // Without video the overlay is the picture: copied opaque.
        if (m_ColorKey != CLR_INVALID && video) {
            flags |= DDBLT_KEYSRCOVERRIDE;
            fx.ddckSrcColorkey.dwColorSpaceLowValue = keyLow;
            fx.ddckSrcColorkey.dwColorSpaceHighValue = keyHigh;
        }
        BltRestoring(composition.Get(), nullptr, overlay.Get(), nullptr, flags, &fx);
        m_bComposed = true;
    }
    Present();
}

void CDisplayWindow::Present()
{
    HWND window = m_hWnd;
    RECT client = {};
    if (!window || !GetClientRect(window, &client))
        return;
    if (!m_bComposed || IsEmpty(client) || !m_pComposition)
        return;
    (this->*m_Present)(client.left, client.top, client.right, client.bottom);
}

void CDisplayWindow::PresentDirectDraw(int left, int top, int right, int bottom)
{
    if (m_bSyncBlt) {
        // Waits until the driver has finished composing into the surface.
        DDSURFACEDESC2 desc;
        m_Device.LockSurface(m_pComposition.Get(), &desc);
        m_Device.UnlockSurface(m_pComposition.Get());
    }
    POINT corners[2] = {{left, top}, {right, bottom}};
    ClientToScreen(m_hWnd, &corners[0]);
    ClientToScreen(m_hWnd, &corners[1]);
    const RECT screen = {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
    // Wine refuses a blit that reaches past the primary even with a clipper:
    // only the part of the window on the screen is presented.
    DDSURFACEDESC2 primary;
    memset(&primary, 0, sizeof primary);
    primary.dwSize = sizeof primary;
    DDSURFACEDESC2 composed = primary;
    V77DW_CHECK_HR(m_pPrimary->GetSurfaceDesc(&primary));
    V77DW_CHECK_HR(m_pComposition->GetSurfaceDesc(&composed));
    const RECT bounds = {0, 0, static_cast<LONG>(primary.dwWidth), static_cast<LONG>(primary.dwHeight)};
    RECT target;
    if (!IntersectRect(&target, &screen, &bounds))
        return;
    // The same part of the composition, which may differ in size from the window.
    const LONG w = screen.right - screen.left, h = screen.bottom - screen.top;
    const LONGLONG cw = composed.dwWidth, ch = composed.dwHeight;
    RECT source = {static_cast<LONG>((target.left - screen.left) * cw / w),
                   static_cast<LONG>((target.top - screen.top) * ch / h),
                   static_cast<LONG>((target.right - screen.left) * cw / w),
                   static_cast<LONG>((target.bottom - screen.top) * ch / h)};
    if (IsEmpty(source))
        return;
    BltRestoring(m_pPrimary.Get(), &target, m_pComposition.Get(), &source, 0, nullptr);
}

void CDisplayWindow::PresentGdi(int, int, int right, int bottom)
{
    HDC surfaceDc = nullptr;
    V77DW_CHECK_HR(m_pComposition->GetDC(&surfaceDc));
    DDSURFACEDESC2 desc;
    memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    HRESULT hr = m_pComposition->GetSurfaceDesc(&desc);
    if (SUCCEEDED(hr)) {
        HWND window = m_hWnd;
        HDC windowDc = GetDC(window);
        if (windowDc) {
            StretchBlt(windowDc, 0, 0, right, bottom, surfaceDc, 0, 0, static_cast<int>(desc.dwWidth),
                       static_cast<int>(desc.dwHeight), SRCCOPY);
            ReleaseDC(window, windowDc);
        }
    }
    m_pComposition->ReleaseDC(surfaceDc);
    V77DW_CHECK_HR(hr);
}
