// Asks an archive server ("host:port") to describe its recording, without a
// receiver: for the auxiliary object, which measures the recording an
// archive source is opened on. Kept free of Winsock headers.
#pragma once

#include <windows.h>

#include <string>

// The mean frame size the server reports; 0 when it cannot be asked.
double ArchiveServerAverageFrameSize(const std::wstring& address, DWORD timeoutMs);
