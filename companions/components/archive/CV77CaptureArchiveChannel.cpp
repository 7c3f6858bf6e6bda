#include "companions/components/archive/CV77CaptureArchiveChannel.h"

#include "companions/components/recording/V77CaptureArchive.h"

namespace {

constexpr DWORD kConnectPollMs = 50;

HRESULT LastError()
{
    const DWORD error = GetLastError();
    // However the other end went, it is gone.
    if (error == ERROR_NO_DATA || error == ERROR_PIPE_NOT_CONNECTED)
        return HRESULT_FROM_WIN32(ERROR_BROKEN_PIPE);
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

}  // namespace

CV77CaptureArchiveChannel::CV77CaptureArchiveChannel() : m_hDone(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
}

CV77CaptureArchiveChannel::~CV77CaptureArchiveChannel()
{
    Close();
    if (m_hDone)
        CloseHandle(m_hDone);
}

void CV77CaptureArchiveChannel::Close()
{
    if (m_hPipe == INVALID_HANDLE_VALUE)
        return;
    CloseHandle(m_hPipe);
    m_hPipe = INVALID_HANDLE_VALUE;
}

HRESULT CV77CaptureArchiveChannel::Connect(const std::wstring& name, DWORD waitMs)
{
    Close();
    if (!m_hDone)
        return E_OUTOFMEMORY;
    const std::wstring path = L"\\\\.\\pipe\\" + V77CaptureArchive::PipeName(name);
    const DWORD start = GetTickCount();
    for (;;) {
        m_hPipe = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
        if (m_hPipe != INVALID_HANDLE_VALUE)
            break;
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PIPE_BUSY)
            return HRESULT_FROM_WIN32(error);
        // Not started yet, or between two viewers' connections.
        if (GetTickCount() - start >= waitMs)
            return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        if (error == ERROR_PIPE_BUSY)
            WaitNamedPipeW(path.c_str(), kConnectPollMs);
        else
            Sleep(kConnectPollMs);
    }
    DWORD mode = PIPE_READMODE_MESSAGE;
    if (!SetNamedPipeHandleState(m_hPipe, &mode, nullptr, nullptr)) {
        const HRESULT hr = LastError();
        Close();
        return hr;
    }
    return S_OK;
}

HRESULT CV77CaptureArchiveChannel::Complete(BOOL ok, DWORD timeoutMs, DWORD* bytes)
{
    if (!ok && GetLastError() != ERROR_IO_PENDING && GetLastError() != ERROR_MORE_DATA)
        return LastError();
    if (WaitForSingleObject(m_hDone, timeoutMs) != WAIT_OBJECT_0) {
        CancelIo(m_hPipe);
        GetOverlappedResult(m_hPipe, &m_Overlapped, bytes, TRUE);
        return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
    }
    if (!GetOverlappedResult(m_hPipe, &m_Overlapped, bytes, FALSE))
        return LastError();
    return S_OK;
}

HRESULT CV77CaptureArchiveChannel::Send(const std::vector<uint8_t>& message, DWORD timeoutMs)
{
    if (!Connected())
        return HRESULT_FROM_WIN32(ERROR_BROKEN_PIPE);
    m_Overlapped = {};
    m_Overlapped.hEvent = m_hDone;
    ResetEvent(m_hDone);
    DWORD written = 0;
    const BOOL ok = WriteFile(m_hPipe, message.data(), static_cast<DWORD>(message.size()), nullptr, &m_Overlapped);
    const HRESULT hr = Complete(ok, timeoutMs, &written);
    if (FAILED(hr))
        return hr;
    return written == message.size() ? S_OK : HRESULT_FROM_WIN32(ERROR_BROKEN_PIPE);
}

HRESULT CV77CaptureArchiveChannel::Receive(std::vector<uint8_t>* message, size_t maxBytes, DWORD timeoutMs)
{
    if (!Connected())
        return HRESULT_FROM_WIN32(ERROR_BROKEN_PIPE);
    message->resize(maxBytes + 1);
    m_Overlapped = {};
    m_Overlapped.hEvent = m_hDone;
    ResetEvent(m_hDone);
    DWORD got = 0;
    const BOOL ok = ReadFile(m_hPipe, message->data(), static_cast<DWORD>(message->size()), nullptr, &m_Overlapped);
    const HRESULT hr = Complete(ok, timeoutMs, &got);
    // A message longer than anything the protocol sends is garbage.
    if (hr == HRESULT_FROM_WIN32(ERROR_MORE_DATA) || (SUCCEEDED(hr) && got > maxBytes))
        return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    if (FAILED(hr))
        return hr;
    message->resize(got);
    return S_OK;
}
