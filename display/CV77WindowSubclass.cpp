#include "display/CV77WindowSubclass.h"

namespace {

// The subclass object of a window.
constexpr wchar_t kOwnerProperty[] = L"V77DxRenderer.Subclass";
// The procedure behind ours when we could not unlink (someone subclassed after us).
constexpr wchar_t kStubProperty[] = L"V77DxRenderer.Original";

// How long Detach waits for a busy window thread before unlinking from here.
constexpr UINT kDetachTimeoutMs = 5000;

}  // namespace

CV77WindowSubclass::CV77WindowSubclass(IHandler* handler)
    : m_pHandler(handler),
      m_hWnd(nullptr),
      m_pOriginal(nullptr),
      m_DetachMessage(RegisterWindowMessageW(L"V77DxRenderer.Detach"))
{
}

CV77WindowSubclass::~CV77WindowSubclass()
{
    Detach();
}

bool CV77WindowSubclass::Attach(HWND window)
{
    Detach();
    if (!window || !IsWindow(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    if (GetPropW(window, kOwnerProperty) || GetPropW(window, kStubProperty)) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return false;
    }
    // Everything the procedure needs is in place before it is installed: the
    // window's thread may call it at once.
    m_pOriginal = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC));
    m_hWnd = window;
    if (!m_pOriginal || !SetPropW(window, kOwnerProperty, this)) {
        const DWORD error = GetLastError();
        m_hWnd = nullptr;
        m_pOriginal = nullptr;
        SetLastError(error ? error : ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    SetLastError(0);
    const LONG_PTR previous =
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CV77WindowSubclass::SubclassProc));
    if (!previous && GetLastError()) {
        const DWORD error = GetLastError();
        RemovePropW(window, kOwnerProperty);
        m_hWnd = nullptr;
        m_pOriginal = nullptr;
        SetLastError(error);
        return false;
    }
    m_pOriginal = reinterpret_cast<WNDPROC>(previous);
    return true;
}

void CV77WindowSubclass::Detach()
{
    if (!m_hWnd)
        return;
    DWORD_PTR answer = 0;
    if (GetWindowThreadProcessId(m_hWnd, nullptr) != GetCurrentThreadId() &&
        SendMessageTimeoutW(m_hWnd, m_DetachMessage, 0, reinterpret_cast<LPARAM>(this), SMTO_NORMAL,
                            kDetachTimeoutMs, &answer) &&
        !m_hWnd)
        return;
    DetachNow();
}

void CV77WindowSubclass::DetachNow()
{
    HWND window = m_hWnd;
    if (!window)
        return;
    m_hWnd = nullptr;
    if (!IsWindow(window))
        return;
    const bool onTop =
        GetWindowLongPtrW(window, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&CV77WindowSubclass::SubclassProc);
    if (onTop) {
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pOriginal));
    } else {
        // A later subclass calls our procedure: leave a stub that forwards.
        SetPropW(window, kStubProperty, reinterpret_cast<HANDLE>(m_pOriginal));
    }
    RemovePropW(window, kOwnerProperty);
    m_pOriginal = nullptr;
}

LRESULT CALLBACK CV77WindowSubclass::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = static_cast<CV77WindowSubclass*>(GetPropW(window, kOwnerProperty));
    if (!self)
        return CallStub(window, message, wParam, lParam);
    return self->Dispatch(window, message, wParam, lParam);
}

LRESULT CV77WindowSubclass::CallStub(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto original = reinterpret_cast<WNDPROC>(GetPropW(window, kStubProperty));
    if (message == WM_NCDESTROY)
        RemovePropW(window, kStubProperty);
    if (!original)
        return DefWindowProcW(window, message, wParam, lParam);
    return CallWindowProcW(original, window, message, wParam, lParam);
}

LRESULT CV77WindowSubclass::Dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == m_DetachMessage && lParam == reinterpret_cast<LPARAM>(this)) {
        DetachNow();
        return 0;
    }
    WNDPROC original = m_pOriginal;
    if (message == WM_NCDESTROY) {
        // The window is going: its own procedure sees its last message without us.
        DetachNow();
        return CallWindowProcW(original, window, message, wParam, lParam);
    }
    LRESULT result = 0;
    if (m_pHandler && m_pHandler->HandleWindowMessage(window, message, wParam, lParam, &result))
        return result;
    return CallWindowProcW(original, window, message, wParam, lParam);
}
