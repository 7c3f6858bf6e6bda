#include "display/CV77WindowSubclass.h"

#include <new>
#include "framework/CAMEvent.h"
#include "framework/CAutoLock.h"
#include "framework/CCritSec.h"

namespace {

// The link of a window.
constexpr wchar_t kOwnerProperty[] = L"V77DxRenderer.Subclass";

// How long Detach waits for a busy window thread before disarming from its own.
constexpr UINT kDetachTimeoutMs = 5000;

}  // namespace

// What the procedure of one window needs. One reference for the window
// (while our procedure may be called; released on the window's thread only)
// and one for the subclass object attached to it.
class CV77WindowSubclass::CLink {
public:
    CLink(WNDPROC original, UINT detachMessage)
        : m_Idle(TRUE, TRUE), m_lRefs(1), m_pOriginal(original), m_DetachMessage(detachMessage)
    {
    }
    CLink(const CLink&) = delete;
    CLink& operator=(const CLink&) = delete;

    void AddRef() { InterlockedIncrement(&m_lRefs); }
    void Release()
    {
        if (InterlockedDecrement(&m_lRefs) == 0)
            delete this;
    }

    // Gives the link a handler; false when one is armed already.
    bool Arm(IHandler* handler, DWORD* arming)
    {
        CAutoLock lock(&m_Lock);
        if (m_pHandler)
            return false;
        m_pHandler = handler;
        *arming = ++m_dwArming;
        return true;
    }
    // No handler call begins after this; false when the arming is not the
    // current one (a newer Attach holds the link).
    bool Disarm(DWORD arming)
    {
        CAutoLock lock(&m_Lock);
        if (arming != m_dwArming)
            return false;
        m_pHandler = nullptr;
        return true;
    }
    void DisarmAndWait(DWORD arming)
    {
        if (Disarm(arming))
            m_Idle.Wait(INFINITE);  // ends when the handler call in progress returns
    }
    // The handler for one call, counted; null when disarmed.
    IHandler* Enter()
    {
        CAutoLock lock(&m_Lock);
        if (m_pHandler) {
            if (m_lCalls++ == 0)
                m_Idle.Reset();
        }
        return m_pHandler;
    }
    void Leave()
    {
        CAutoLock lock(&m_Lock);
        if (--m_lCalls == 0)
            m_Idle.Set();
    }
    WNDPROC Original()
    {
        CAutoLock lock(&m_Lock);
        return m_pOriginal;
    }
    void SetOriginal(WNDPROC original)
    {
        CAutoLock lock(&m_Lock);
        m_pOriginal = original;
    }
    UINT DetachMessage() const { return m_DetachMessage; }

private:
    ~CLink() = default;

    CCritSec m_Lock;
    CAMEvent m_Idle;  // manual, set: no handler call in progress
    LONG m_lRefs;
    IHandler* m_pHandler = nullptr;
    DWORD m_dwArming = 0;
    LONG m_lCalls = 0;
    WNDPROC m_pOriginal;
    const UINT m_DetachMessage;
};

CV77WindowSubclass::CV77WindowSubclass(IHandler* handler)
    : m_pHandler(handler),
      m_hWnd(nullptr),
      m_pLink(nullptr),
      m_dwArming(0),
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
    if (auto* existing = static_cast<CLink*>(GetPropW(window, kOwnerProperty))) {
        // Our procedure is still there, disarmed (detached while its thread
        // was busy, or another subclass came after ours): armed again.
        if (!existing->Arm(m_pHandler, &m_dwArming)) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return false;
        }
        existing->AddRef();
        m_pLink = existing;
        m_hWnd = window;
        return true;
    }
    // Everything the procedure needs is in place before it is installed: the
    // window's thread may call it at once.
    auto original = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC));
    CLink* link = original ? new (std::nothrow) CLink(original, m_DetachMessage) : nullptr;
    if (!link) {
        SetLastError(original ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    DWORD arming = 0;
    link->Arm(m_pHandler, &arming);
    if (!SetPropW(window, kOwnerProperty, link)) {
        const DWORD error = GetLastError();
        link->Release();
        SetLastError(error ? error : ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    SetLastError(0);
    const LONG_PTR previous =
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CV77WindowSubclass::SubclassProc));
    if (!previous && GetLastError()) {
        const DWORD error = GetLastError();
        RemovePropW(window, kOwnerProperty);
        link->Release();
        SetLastError(error);
        return false;
    }
    link->SetOriginal(reinterpret_cast<WNDPROC>(previous));
    link->AddRef();  // ours; the first is the window's
    m_pLink = link;
    m_dwArming = arming;
    m_hWnd = window;
    return true;
}

void CV77WindowSubclass::Detach()
{
    CLink* link = m_pLink;
    if (!link)
        return;
    HWND window = m_hWnd;
    m_pLink = nullptr;
    m_hWnd = nullptr;
    if (IsWindow(window) && GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
        UnlinkOnWindowThread(window, link, m_dwArming);
    } else {
        DWORD_PTR answer = 0;
        if (IsWindow(window))
            SendMessageTimeoutW(window, m_DetachMessage, m_dwArming, reinterpret_cast<LPARAM>(link), SMTO_NORMAL,
                                kDetachTimeoutMs, &answer);
        // Answered, gone, or busy: either way no handler call may be left.
        link->DisarmAndWait(m_dwArming);
    }
    link->Release();
}

void CV77WindowSubclass::UnlinkOnWindowThread(HWND window, CLink* link, DWORD arming)
{
    if (!link->Disarm(arming))
        return;
    if (GetWindowLongPtrW(window, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(&CV77WindowSubclass::SubclassProc) ||
        GetPropW(window, kOwnerProperty) != link)
        return;  // a later subclass calls ours: it stays, forwarding
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(link->Original()));
    RemovePropW(window, kOwnerProperty);
    link->Release();  // the window's
}

LRESULT CALLBACK CV77WindowSubclass::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Alive while we run: only this thread releases the window's reference.
    auto* link = static_cast<CLink*>(GetPropW(window, kOwnerProperty));
    if (!link)
        return DefWindowProcW(window, message, wParam, lParam);
    if (message == link->DetachMessage() && lParam == reinterpret_cast<LPARAM>(link)) {
        UnlinkOnWindowThread(window, link, static_cast<DWORD>(wParam));
        return 0;
    }
    const WNDPROC original = link->Original();
    if (message == WM_NCDESTROY) {
        // The window is going: its own procedure sees its last message without us.
        RemovePropW(window, kOwnerProperty);
        link->Release();
        return CallWindowProcW(original, window, message, wParam, lParam);
    }
    if (IHandler* handler = link->Enter()) {
        // The handler may detach (and the window let the link go) on this
        // thread before it returns.
        link->AddRef();
        LRESULT result = 0;
        const bool handled = handler->HandleWindowMessage(window, message, wParam, lParam, &result);
        link->Leave();
        link->Release();
        if (handled)
            return result;
    }
    return CallWindowProcW(original, window, message, wParam, lParam);
}
