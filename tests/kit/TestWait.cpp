#include "tests/kit/TestWait.h"

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount64() >= deadline)
            return condition();
        Sleep(2);
    }
}

ULONGLONG NowMs()
{
    return GetTickCount64();
}
