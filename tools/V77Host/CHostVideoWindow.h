// The host's video window: a plain top-level window whose client area the
// renderer draws into once the host hands it over with SetWindow.
#pragma once

#include <windows.h>

class CHostVideoWindow {
public:
    // Client area width x height, the frame placed at (x, y) on the screen.
    CHostVideoWindow(LONG width, LONG height, LONG x = 0, LONG y = 0);
    ~CHostVideoWindow();
    CHostVideoWindow(const CHostVideoWindow&) = delete;
    CHostVideoWindow& operator=(const CHostVideoWindow&) = delete;

    HWND Handle() const { return m_hWnd; }
    // The colour shown at client point (x, y), CLR_INVALID when unreadable.
    COLORREF PixelAt(LONG x, LONG y) const;

private:
    HWND m_hWnd;
};
