#include "tools/V77Host/CHostVideoWindow.h"

namespace {

const wchar_t kClassName[] = L"V77HostVideoWindow";

ATOM RegisterWindowClass()
{
    static const ATOM atom = [] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        wc.lpszClassName = kClassName;
        return RegisterClassExW(&wc);
    }();
    return atom;
}

}  // namespace

CHostVideoWindow::CHostVideoWindow(LONG width, LONG height, LONG x, LONG y) : m_hWnd(nullptr)
{
    if (!RegisterWindowClass())
        return;
    RECT frame = {0, 0, width, height};
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    AdjustWindowRect(&frame, style, FALSE);
    m_hWnd = CreateWindowExW(0, kClassName, L"V77Host video", style, x, y, frame.right - frame.left,
                             frame.bottom - frame.top, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (m_hWnd) {
        ShowWindow(m_hWnd, SW_SHOWNORMAL);
        UpdateWindow(m_hWnd);
    }
}

CHostVideoWindow::~CHostVideoWindow()
{
    if (m_hWnd)
        DestroyWindow(m_hWnd);
}

COLORREF CHostVideoWindow::PixelAt(LONG x, LONG y) const
{
    HDC dc = GetDC(m_hWnd);
    if (!dc)
        return CLR_INVALID;
    const COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(m_hWnd, dc);
    return colour;
}
