#include "tests/spy/CQuadrantWindow.h"

namespace {

const wchar_t kClassName[] = L"V77TestQuadrantWindow";

}  // namespace

CQuadrantWindow::CQuadrantWindow(LONG width, LONG height, COLORREF tl, COLORREF tr, COLORREF bl, COLORREF br)
    : m_hWnd(nullptr), m_Colours{tl, tr, bl, br}
{
    static const ATOM atom = [] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = &CQuadrantWindow::Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kClassName;
        return RegisterClassExW(&wc);
    }();
    if (!atom)
        return;
    m_hWnd = CreateWindowExW(WS_EX_TOPMOST, kClassName, L"V77 spied window", WS_POPUP, 0, 0, width, height, nullptr,
                             nullptr, GetModuleHandleW(nullptr), this);
    if (!m_hWnd)
        return;
    ShowWindow(m_hWnd, SW_SHOWNOACTIVATE);
    UpdateWindow(m_hWnd);
    Pump();
}

CQuadrantWindow::~CQuadrantWindow()
{
    Destroy();
}

void CQuadrantWindow::Destroy()
{
    if (m_hWnd)
        DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
    Pump();
}

void CQuadrantWindow::Pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

LRESULT CALLBACK CQuadrantWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<CQuadrantWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_ERASEBKGND)
        return 1;
    if (message == WM_PAINT && self) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT client;
        GetClientRect(window, &client);
        const LONG mx = client.right / 2, my = client.bottom / 2;
        const RECT parts[4] = {{0, 0, mx, my}, {mx, 0, client.right, my}, {0, my, mx, client.bottom},
                               {mx, my, client.right, client.bottom}};
        for (int i = 0; i < 4; ++i) {
            HBRUSH brush = CreateSolidBrush(self->m_Colours[i]);
            FillRect(dc, &parts[i], brush);
            DeleteObject(brush);
        }
        EndPaint(window, &paint);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
