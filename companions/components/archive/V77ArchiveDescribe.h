// Asks an archive server ("host:port"), or the local capture process in its
// archive mode, to describe its recording, without a
// receiver: for the auxiliary object, which measures the recording an
// archive source is opened on. Kept free of Winsock headers.
#pragma once

#include <windows.h>

#include <string>

// The mean frame size the server reports; 0 when it cannot be asked.
double ArchiveServerAverageFrameSize(const std::wstring& address, DWORD timeoutMs);
// The same, asked of the local capture process serving a store under name.
double CaptureArchiveAverageFrameSize(const std::wstring& name, DWORD timeoutMs);
