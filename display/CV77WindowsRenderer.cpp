#include "display/CV77WindowsRenderer.h"

#include <new>

#include "companions/V77Sync/CV77AutoSync.h"
#include "display/V77DxRendererErrors.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

CUnknown* WINAPI CV77WindowsRenderer::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    HRESULT ignored = S_OK;
    if (!phr)
        phr = &ignored;
    *phr = S_OK;
    auto* renderer = new (std::nothrow) CV77WindowsRenderer(TEXT("Varnokel77 GDI renderer"), outer, phr);
    if (!renderer)
        *phr = E_OUTOFMEMORY;
    return renderer;
}

CV77WindowsRenderer::CV77WindowsRenderer(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr)
    : CV77GDIRendererBase(name, outer, CLSID_V77WindowsRenderer, phr),
      m_Subclass(this),
      m_WindowLock(4000),
      m_hWindow(nullptr),
      m_bPaintPending(false)
{
}

CV77WindowsRenderer::~CV77WindowsRenderer()
{
    {
        CV77AutoSync lock(m_WindowLock);
        m_hWindow = nullptr;
    }
    m_Subclass.Detach();
}

// ---- IV77DxRenderer ----

STDMETHODIMP CV77WindowsRenderer::SetWindow(HWND window)
{
    {
        CV77AutoSync lock(m_WindowLock);
        m_hWindow = nullptr;
        m_bPaintPending = false;
    }
    // Not under m_WindowLock: detaching may wait for the window's thread.
    m_Subclass.Detach();
    if (!window)
        return S_OK;
    if (!m_Subclass.Attach(window)) {
        const DWORD error = GetLastError();
        return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
    }
    {
        CV77AutoSync lock(m_WindowLock);
        m_hWindow = window;
    }
    try {
        // A window given after the connection still gets its bitmaps.
        if (!IsReadyToRender())
            CreateBitmaps();
        Repaint();
    }
    V77DX_CATCH()
    return S_OK;
}

STDMETHODIMP CV77WindowsRenderer::ClearImage()
{
    const HRESULT hr = CV77GDIRendererBase::ClearImage();
    CV77AutoSync lock(m_WindowLock);
    if (m_hWindow)
        InvalidateRect(m_hWindow, nullptr, FALSE);
    return hr;
}

// ---- rendering ----

void CV77WindowsRenderer::RenderFrame(IV77PoolItem*)
{
    CV77AutoSync lock(m_WindowLock);
    if (!m_hWindow || m_bPaintPending)
        return;
    if (PostMessageW(m_hWindow, WM_V77_RENDER, 0, 0))
        m_bPaintPending = true;
}

void CV77WindowsRenderer::Repaint()
{
    // The window's thread takes the current frame itself (or draws only the overlay).
    RenderFrame(nullptr);
}

void CV77WindowsRenderer::GetTargetRect(RECT* rect)
{
    *rect = RECT{};
    HWND window = nullptr;
    {
        CV77AutoSync lock(m_WindowLock);
        window = m_hWindow;
    }
    if (window && !GetClientRect(window, rect))
        *rect = RECT{};
}

bool CV77WindowsRenderer::IsSizeChanged(const RECT&, const RECT& destination, const RECT&)
{
    return destination.right - destination.left != m_DstRect.right - m_DstRect.left ||
           destination.bottom - destination.top != m_DstRect.bottom - m_DstRect.top;
}

RECT CV77WindowsRenderer::DestinationRect()
{
    CV77AutoSync lock(m_GdiLock);
    return m_DstRect;
}

// ---- window messages ----

bool CV77WindowsRenderer::HandleWindowMessage(HWND window, UINT message, WPARAM, LPARAM, LRESULT* result)
{
    *result = 0;
    try {
        switch (message) {
        case WM_PAINT:
            if (!IsReadyToRender())
                return false;
            OnPaint(window);
            return true;
        case WM_ERASEBKGND:
            // The frame bitmap covers the client area: erasing would only flicker.
            return IsReadyToRender();
        case WM_V77_RENDER:
            OnRenderMessage(window);
            return true;
        default:
            return false;
        }
    }
    V77DX_CATCH_RETURN(true)
}

void CV77WindowsRenderer::OnPaint(HWND window)
{
    PAINTSTRUCT paint = {};
    HDC dc = BeginPaint(window, &paint);
    if (dc) {
        RECT client = {};
        GetClientRect(window, &client);
        CV77AutoSync lock(m_GdiLock);
        if (m_hFrameBitmap)
            BitBlt(dc, 0, 0, client.right, client.bottom, m_hFrameDC.Handle(), 0, 0, SRCCOPY);
    }
    EndPaint(window, &paint);
}

void CV77WindowsRenderer::OnRenderMessage(HWND window)
{
    // Cleared before the frame is taken: a sample that arrives from here on
    // posts again, so the newest frame is never left undrawn.
    {
        CV77AutoSync lock(m_WindowLock);
        m_bPaintPending = false;
    }
    ComPtr<IV77PoolItem> frame;
    {
        CV77AutoSync lock(m_FrameLock);
        frame = m_pCurrent;
    }
    // Without m_FrameLock: DrawFrame takes m_GdiLock, never both here.
    DrawFrame(frame.Get(), m_hFrameDC.Handle(), DestinationRect());
    InvalidateRect(window, nullptr, FALSE);
}
