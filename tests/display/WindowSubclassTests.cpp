// The window subclass of the renderers, detached while the window's thread
// is busy inside the handler: Detach returns only once the handler call has
// returned, and the window can be attached again.
#include <gtest/gtest.h>

#include <windows.h>
#include <atomic>
#include <thread>
#include "display/CV77WindowSubclass.h"

namespace {

constexpr UINT kBlock = WM_USER + 7;   // the handler blocks until released
constexpr UINT kProbe = WM_USER + 8;   // answered 1 by the handler, 0 by the window

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return message == kProbe ? 0 : DefWindowProcW(window, message, wParam, lParam);
}

class CBlockingHandler : public CV77WindowSubclass::IHandler {
public:
    bool HandleWindowMessage(HWND, UINT message, WPARAM, LPARAM, LRESULT* result) override
    {
        if (message == kBlock) {
            inside = true;
            SetEvent(entered);
            WaitForSingleObject(release, 10000);
            inside = false;
            *result = 0;
            return true;
        }
        *result = 1;
        return message == kProbe;
    }
    HANDLE entered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> inside{false};
};

// A window on a thread of its own with a message loop.
class CWindowThread {
public:
    CWindowThread()
    {
        HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_Thread = std::thread([this, ready] {
            WNDCLASSW wc = {};
            wc.lpfnWndProc = PlainProc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"V77SubclassTestWindow";
            RegisterClassW(&wc);
            window = CreateWindowW(wc.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                   wc.hInstance, nullptr);
            m_dwThreadId = GetCurrentThreadId();
            SetEvent(ready);
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0)
                DispatchMessageW(&msg);
        });
        WaitForSingleObject(ready, 5000);
        CloseHandle(ready);
    }
    ~CWindowThread()
    {
        SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_NORMAL, 5000, nullptr);  // DefWindowProc destroys it
        PostThreadMessageW(m_dwThreadId, WM_QUIT, 0, 0);
        m_Thread.join();
    }
    HWND window = nullptr;

private:
    std::thread m_Thread;
    DWORD m_dwThreadId = 0;
};

LRESULT Probe(HWND window)
{
    DWORD_PTR answer = 99;
    SendMessageTimeoutW(window, kProbe, 0, 0, SMTO_NORMAL, 5000, &answer);
    return static_cast<LRESULT>(answer);
}

TEST(WindowSubclass, DetachWhileTheWindowThreadIsInTheHandlerWaitsForItAndTheWindowCanBeAttachedAgain)
{
    CWindowThread thread;
    ASSERT_TRUE(thread.window);
    CBlockingHandler handler;
    CV77WindowSubclass subclass(&handler);
    ASSERT_TRUE(subclass.Attach(thread.window));
    EXPECT_EQ(1, Probe(thread.window));

    PostMessageW(thread.window, kBlock, 0, 0);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(handler.entered, 5000));
    // The handler returns a second after the detach gave up asking the window's thread.
    std::thread releaser([&] {
        Sleep(6000);
        SetEvent(handler.release);
    });
    subclass.Detach();
    EXPECT_FALSE(handler.inside.load()) << "Detach returned while the handler was still running";
    releaser.join();
    EXPECT_EQ(0, Probe(thread.window)) << "detached: the window's own procedure answers";

    // Our procedure stayed (disarmed); attached again, and detached at once
    // when the window's thread answers, which gives the window its own back.
    ASSERT_TRUE(subclass.Attach(thread.window));
    EXPECT_EQ(1, Probe(thread.window));
    subclass.Detach();
    EXPECT_EQ(0, Probe(thread.window));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(&PlainProc), GetWindowLongPtrW(thread.window, GWLP_WNDPROC));
    CloseHandle(handler.entered);
    CloseHandle(handler.release);
}

}  // namespace
