#include "tests/display/CTestVideoWindow.h"

#include <cstring>

#include "tests/display/CTestDibDc.h"
#include "v77/IV77DxRenderer.h"

namespace {

const wchar_t kClassName[] = L"V77TestVideoWindow";

ATOM RegisterWindowClass()
{
    static const ATOM atom = [] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        // Grey, so that a window the renderer never painted differs from its black bitmap.
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
        wc.lpszClassName = kClassName;
        return RegisterClassExW(&wc);
    }();
    return atom;
}

}  // namespace

CTestVideoWindow::CTestVideoWindow(LONG width, LONG height) : m_hWnd(nullptr), m_Width(width), m_Height(height)
{
    if (!RegisterWindowClass())
        return;
    // A popup has no frame: its client area is the window, at a known place on the screen.
    m_hWnd = CreateWindowExW(WS_EX_TOPMOST, kClassName, L"V77 test video", WS_POPUP, 0, 0, width, height, nullptr,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!m_hWnd)
        return;
    // Not activated: Wine hands activated windows to the window manager, and
    // without one (Xvfb) every hide then waits two seconds for it.
    ShowWindow(m_hWnd, SW_SHOWNOACTIVATE);
    UpdateWindow(m_hWnd);
    Pump();
}

CTestVideoWindow::~CTestVideoWindow()
{
    if (m_hWnd)
        DestroyWindow(m_hWnd);
    Pump();
}

int CTestVideoWindow::Pump()
{
    int renders = 0;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.hwnd == m_hWnd && msg.message == WM_V77_RENDER)
            ++renders;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return renders;
}

bool CTestVideoWindow::PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        Pump();
        if (condition())
            return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now < 10 ? deadline - now : 10),
                                  QS_ALLINPUT);
    }
}

TestPicture CTestVideoWindow::Capture() const
{
    if (!m_hWnd)
        return TestPicture();
    CTestDibDc dib(m_Width, m_Height, true, 32);
    HDC window = GetDC(m_hWnd);
    if (!window || !dib.IsValid()) {
        if (window)
            ReleaseDC(m_hWnd, window);
        return TestPicture();
    }
    const BOOL copied = BitBlt(dib.Dc(), 0, 0, m_Width, m_Height, window, 0, 0, SRCCOPY);
    ReleaseDC(m_hWnd, window);
    return copied ? dib.Picture() : TestPicture();
}
