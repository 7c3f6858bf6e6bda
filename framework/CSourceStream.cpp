#include "framework/CSourceStream.h"

#include <cwchar>
#include "framework/AMGetWideString.h"
#include "framework/CAutoLock.h"
#include "framework/CSource.h"

CSourceStream::CSourceStream(const TCHAR* objectName, HRESULT* phr, CSource* filter, LPCWSTR pinName)
    : CAMThread(phr),
      CBaseOutputPin(objectName, filter, filter->pStateLock(), phr, pinName),
      m_pFilter(filter),
      m_bCommandPending(false),
      m_PendingCommand(CMD_INIT)
{
    HRESULT hr = m_pFilter->AddPin(this);
    if (FAILED(hr) && phr)
        *phr = hr;
}

CSourceStream::~CSourceStream()
{
    m_pFilter->RemovePin(this);
}

STDMETHODIMP CSourceStream::QueryId(LPWSTR* id)
{
    if (!id)
        return E_POINTER;
    int number = m_pFilter->FindPinNumber(this) + 1;
    if (number < 1)
        return E_FAIL;
    WCHAR text[16];
    swprintf(text, 16, L"%d", number);
    return AMGetWideString(text, id);
}

HRESULT CSourceStream::Active()
{
    CAutoLock lock(m_pFilter->pStateLock());
    if (m_pFilter->IsActive())
        return S_FALSE;
    if (!IsConnected())
        return S_OK;
    HRESULT hr = CBaseOutputPin::Active();
    if (FAILED(hr))
        return hr;
    if (!Create())
        return E_FAIL;
    hr = Init();
    if (FAILED(hr)) {
        // OnThreadCreate failed: the thread has ended.
        Close();
        return hr;
    }
    hr = Pause();
    if (FAILED(hr)) {
        // The filter stays stopped, so no Inactive follows: end the worker now.
        Exit();
        Close();
    }
    return hr;
}

HRESULT CSourceStream::Inactive()
{
    CAutoLock lock(m_pFilter->pStateLock());
    if (!IsConnected())
        return S_OK;
    // Decommitting first releases a worker blocked in GetDeliveryBuffer.
    HRESULT hr = CBaseOutputPin::Inactive();
    if (ThreadExists()) {
        // Every step runs whatever the one before answered: a worker left
        // behind waits for a request for ever, and so would our destruction.
        const HRESULT hrStop = Stop();
        const HRESULT hrExit = Exit();
        Close();
        if (SUCCEEDED(hr))
            hr = FAILED(hrStop) ? hrStop : hrExit;
    }
    return FAILED(hr) ? hr : S_OK;
}

HRESULT CSourceStream::GetMediaType(int position, CMediaType* mt)
{
    if (!mt)
        return E_POINTER;
    CAutoLock lock(m_pFilter->pStateLock());
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    return GetMediaType(mt);
}

HRESULT CSourceStream::GetMediaType(CMediaType*)
{
    return E_UNEXPECTED;
}

HRESULT CSourceStream::CheckMediaType(const CMediaType* mt)
{
    if (!mt)
        return E_POINTER;
    CAutoLock lock(m_pFilter->pStateLock());
    CMediaType mine;
    HRESULT hr = GetMediaType(&mine);
    if (FAILED(hr))
        return hr;
    return mine == *mt ? S_OK : E_FAIL;
}

BOOL CSourceStream::CheckRequest(Command* command)
{
    DWORD request = 0;
    if (!CAMThread::CheckRequest(&request))
        return FALSE;
    if (command)
        *command = static_cast<Command>(request);
    return TRUE;
}

bool CSourceStream::WaitForInit()
{
    for (;;) {
        Command command = GetRequest();
        if (command == CMD_INIT)
            return true;
        if (command == CMD_EXIT) {
            Reply(S_OK);
            return false;
        }
        Reply(static_cast<DWORD>(E_UNEXPECTED));
    }
}

CSourceStream::Command CSourceStream::NextCommand()
{
    if (m_bCommandPending) {
        m_bCommandPending = false;
        return m_PendingCommand;
    }
    return GetRequest();
}

DWORD CSourceStream::ThreadProc()
{
    if (!WaitForInit())
        return 0;
    HRESULT hr = OnThreadCreate();
    if (FAILED(hr)) {
        OnThreadDestroy();
        Reply(static_cast<DWORD>(hr));
        return 1;
    }
    Reply(S_OK);

    for (;;) {
        Command command = NextCommand();
        switch (command) {
        case CMD_EXIT:
            OnThreadDestroy();
            Reply(S_OK);
            return 0;
        case CMD_RUN:
        case CMD_PAUSE:
            Reply(S_OK);
            DoBufferProcessingLoop();
            break;
        case CMD_STOP:
            Reply(S_OK);
            break;
        default:
            Reply(static_cast<DWORD>(E_NOTIMPL));
            break;
        }
    }
}

HRESULT CSourceStream::DoBufferProcessingLoop()
{
    OnThreadStartPlay();
    for (;;) {
        Command command;
        if (CheckRequest(&command)) {
            if (command == CMD_RUN || command == CMD_PAUSE) {
                Reply(S_OK);
                continue;
            }
            if (command == CMD_STOP || command == CMD_EXIT) {
                // Answered by ThreadProc, once we are out of the loop.
                m_PendingCommand = command;
                m_bCommandPending = true;
                return S_FALSE;
            }
            Reply(static_cast<DWORD>(E_UNEXPECTED));
            continue;
        }

        IMediaSample* sample = nullptr;
        HRESULT hr = GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
        if (FAILED(hr)) {
            // Decommitted: a Stop is on its way.
            Sleep(1);
            continue;
        }
        hr = FillBuffer(sample);
        if (hr == S_OK) {
            hr = Deliver(sample);
            sample->Release();
            // Downstream refused (flushing, stopped, failed): wait for a command.
            if (hr != S_OK)
                return S_OK;
            continue;
        }
        sample->Release();
        DeliverEndOfStream();
        if (hr == S_FALSE)
            return S_OK;
        m_pFilter->NotifyEvent(EC_ERRORABORT, hr, 0);
        return hr;
    }
}
