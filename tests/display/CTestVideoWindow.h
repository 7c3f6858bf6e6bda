// A visible top-level window of the test thread for a renderer to draw in.
// The thread that creates it owns it: only Pump and PumpUntil run its
// messages, so a test decides when the window is "busy". Capture reads back
// what the screen shows of the client area.
#pragma once

#include <windows.h>
#include <functional>

#include "tests/display/TestPicture.h"

class CTestVideoWindow {
public:
    // Client area of width x height at the top-left of the screen.
    CTestVideoWindow(LONG width, LONG height);
    ~CTestVideoWindow();
    CTestVideoWindow(const CTestVideoWindow&) = delete;
    CTestVideoWindow& operator=(const CTestVideoWindow&) = delete;

    HWND Handle() const { return m_hWnd; }
    LONG Width() const { return m_Width; }
    LONG Height() const { return m_Height; }

    // Dispatches every message queued for this thread (paints included); the
    // number of the renderer's repaint messages among them.
    int Pump();
    // Pumps until condition holds or timeoutMs passes; the condition's last value.
    bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs);
    // The client area as shown, top row first; an empty picture when it cannot be read.
    TestPicture Capture() const;

private:
    HWND m_hWnd;
    LONG m_Width;
    LONG m_Height;
};
