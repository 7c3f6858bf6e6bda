// A visible top-level window at the top-left of the screen that paints four
// coloured quadrants; only Pump runs its messages (and so its painting).
#pragma once

#include <windows.h>

class CQuadrantWindow {
public:
    CQuadrantWindow(LONG width, LONG height, COLORREF tl, COLORREF tr, COLORREF bl, COLORREF br);
    ~CQuadrantWindow();
    CQuadrantWindow(const CQuadrantWindow&) = delete;
    CQuadrantWindow& operator=(const CQuadrantWindow&) = delete;

    HWND Handle() const { return m_hWnd; }
    void Pump();
    void Destroy();

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hWnd;
    COLORREF m_Colours[4];
};
