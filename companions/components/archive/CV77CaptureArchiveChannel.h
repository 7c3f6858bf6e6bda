// The viewer's end of a capture process's archive request pipe
// (V77CaptureArchive.h): whole messages out and in, each wait bounded, so a
// capture process that hangs or dies never holds the caller. A pipe whose
// other end is gone fails with HRESULT_FROM_WIN32(ERROR_BROKEN_PIPE).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class CV77CaptureArchiveChannel {
public:
    CV77CaptureArchiveChannel();
    ~CV77CaptureArchiveChannel();
    CV77CaptureArchiveChannel(const CV77CaptureArchiveChannel&) = delete;
    CV77CaptureArchiveChannel& operator=(const CV77CaptureArchiveChannel&) = delete;

    // Connects to the capture process called name, waiting up to waitMs for
    // it to offer its pipe; HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) without one.
    HRESULT Connect(const std::wstring& name, DWORD waitMs);
    bool Connected() const { return m_hPipe != INVALID_HANDLE_VALUE; }
    void Close();

    HRESULT Send(const std::vector<uint8_t>& message, DWORD timeoutMs);
    // One message of at most maxBytes (a longer one: ERROR_INVALID_DATA);
    // HRESULT_FROM_WIN32(ERROR_TIMEOUT) when none comes in time.
    HRESULT Receive(std::vector<uint8_t>* message, size_t maxBytes, DWORD timeoutMs);

private:
    // Finishes an overlapped call begun with ok; *bytes what it moved.
    HRESULT Complete(BOOL ok, DWORD timeoutMs, DWORD* bytes);

    HANDLE m_hPipe = INVALID_HANDLE_VALUE;
    HANDLE m_hDone;  // manual reset, the overlapped calls' event
    OVERLAPPED m_Overlapped = {};
};
