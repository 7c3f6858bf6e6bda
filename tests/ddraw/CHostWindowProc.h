// Stands in for the host's own window procedure behind a display window:
// counts the overlay redraw requests (WM_USER + 1) the window receives.
#pragma once

#include <windows.h>
#include <atomic>

class CHostWindowProc {
public:
    explicit CHostWindowProc(HWND window);
    ~CHostWindowProc();
    CHostWindowProc(const CHostWindowProc&) = delete;
    CHostWindowProc& operator=(const CHostWindowProc&) = delete;

    int OverlayRedraws() const { return m_Redraws; }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hWnd;
    WNDPROC m_pPrevious;
    std::atomic<int> m_Redraws{0};
};

// Sets the DirectDraw renderer's registry parameters for one scope.
class CRendererParameters {
public:
    CRendererParameters(DWORD useGdi, DWORD syncBlt);
    ~CRendererParameters();
    CRendererParameters(const CRendererParameters&) = delete;
    CRendererParameters& operator=(const CRendererParameters&) = delete;
};
