// Bounded waiting for conditions that other threads make true.
#pragma once

#include <windows.h>
#include <functional>

// Polls condition until it holds or timeoutMs passes; returns its last value.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);

// Milliseconds on a monotonic clock, for measuring how long a call blocked.
ULONGLONG NowMs();
