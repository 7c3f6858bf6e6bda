// The number of handles the process has open, for leak checks. Wine's
// GetProcessHandleCount answers 0; there the system handle list is counted.
#pragma once

#include <windows.h>

// 0 when neither way works.
DWORD ProcessHandleCount();
