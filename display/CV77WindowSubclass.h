// Routes the messages of a window that someone else created through a
// handler before the window's own procedure, by replacing GWLP_WNDPROC.
// The handler is found through a window property, so nothing global is
// needed. Detaching happens on the window's thread (it is the only thread
// that runs the procedure), so a handler is never in use while it goes away.
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
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CallStub(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // On the window's thread (or when that thread does not answer).
    void DetachNow();

    IHandler* m_pHandler;
    HWND m_hWnd;
    WNDPROC m_pOriginal;
    UINT m_DetachMessage;
};
