// Runs a call that may block on its own thread and waits for it with a
// deadline, so a test fails instead of hanging. A call that does not return
// in time is left running detached with its own state (the test's teardown
// should release it; CTest's time-out bounds the rest).
#pragma once

#include <windows.h>
#include <functional>
#include <memory>

class BoundedCall {
public:
    explicit BoundedCall(std::function<void()> call);
    ~BoundedCall();
    BoundedCall(const BoundedCall&) = delete;
    BoundedCall& operator=(const BoundedCall&) = delete;

    // True when the call has returned within timeoutMs (from now).
    bool Wait(DWORD timeoutMs);
    bool Done() { return Wait(0); }

private:
    struct State {
        std::function<void()> call;
        HANDLE done = nullptr;  // manual: the call returned
        ~State();
    };
    static DWORD WINAPI Run(LPVOID param);

    std::shared_ptr<State> m_State;
    HANDLE m_hThread;
};

// Runs call and returns whether it finished within timeoutMs.
bool FinishesWithin(DWORD timeoutMs, std::function<void()> call);
