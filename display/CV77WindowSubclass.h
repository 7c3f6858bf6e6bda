// Routes the messages of a window that someone else created through a
// handler before the window's own procedure, by replacing GWLP_WNDPROC.
// The procedure finds its state (a link object) through a window property,
// so nothing global is needed. The link belongs to the window as long as
// our procedure may be called: only the window's thread releases it, so the
// procedure never uses freed memory. Detach asks the window's thread to
// unlink; when that thread does not answer in time, Detach disarms the link
// from its own thread (no new handler calls; the procedure then only
// forwards to the original, until the window goes or is attached again) and
// waits for a handler call in progress to return, so a handler is never in
// use after Detach. A handler must therefore not wait for the thread that
// detaches it.
#pragma once

#include <windows.h>

class CV77WindowSubclass {
public:
    class IHandler {
    public:
        // True when the message was handled, with its result in *result.
        virtual bool HandleWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         LRESULT* result) = 0;

    protected:
        ~IHandler() = default;
    };

    explicit CV77WindowSubclass(IHandler* handler);
    ~CV77WindowSubclass();
    CV77WindowSubclass(const CV77WindowSubclass&) = delete;
    CV77WindowSubclass& operator=(const CV77WindowSubclass&) = delete;

    // False with the Win32 error set; ERROR_ALREADY_EXISTS when a renderer
    // already holds the window.
    bool Attach(HWND window);
    // Gives the window back to its own procedure. Safe to call when detached.
    void Detach();
    HWND Window() const { return m_hWnd; }

private:
    class CLink;

    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // On the window's thread: disarms the link of that arming and, when our
    // procedure is on top, gives the window back its own.
    static void UnlinkOnWindowThread(HWND window, CLink* link, DWORD arming);

    IHandler* m_pHandler;
    HWND m_hWnd;
    CLink* m_pLink;      // one reference, while attached
    DWORD m_dwArming;    // which arming of the link is ours
    UINT m_DetachMessage;
};
