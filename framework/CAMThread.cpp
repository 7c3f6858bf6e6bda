#include "framework/CAMThread.h"

#include "framework/CAutoLock.h"

CAMThread::CAMThread(HRESULT* phr)
    : m_hThread(nullptr),
      m_EventSend(TRUE, FALSE),
      m_EventComplete(FALSE, FALSE),
      m_bRequestPending(false),
      m_dwParam(0),
      m_dwReturnVal(0)
{
    if (phr && (!m_EventSend.Handle() || !m_EventComplete.Handle()))
        *phr = E_OUTOFMEMORY;
}

CAMThread::~CAMThread()
{
    Close();
}

DWORD WINAPI CAMThread::InitialThreadProc(LPVOID param)
{
    // COM may be used by any worker; MTA suits threads without a message loop.
    HRESULT hrCom = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    DWORD result = static_cast<CAMThread*>(param)->ThreadProc();
    if (SUCCEEDED(hrCom))
        CoUninitialize();
    return result;
}

BOOL CAMThread::Create()
{
    CAutoLock lock(&m_AccessLock);
    if (ThreadExists())
        return FALSE;
    DWORD id = 0;
    m_hThread = CreateThread(nullptr, 0, InitialThreadProc, this, 0, &id);
    return m_hThread != nullptr;
}

DWORD CAMThread::CallWorker(DWORD request)
{
    CAutoLock lock(&m_AccessLock);
    if (!ThreadExists())
        return static_cast<DWORD>(E_FAIL);
    {
        // The flag and the event go up together: a worker polling the flag
        // could otherwise reply before the event is set, and the event left
        // set would hand it this request a second time (and its stray reply
        // would answer our next call).
        CAutoLock posting(&m_RequestLock);
        m_dwParam = request;
        m_bRequestPending.store(true, std::memory_order_release);
        m_EventSend.Set();
    }
    // The worker may die instead of replying: wait for either.
    HANDLE handles[2] = {m_EventComplete.Handle(), m_hThread};
    DWORD wait = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    if (wait != WAIT_OBJECT_0)
        return static_cast<DWORD>(E_FAIL);
    return m_dwReturnVal;
}

void CAMThread::Close()
{
    HANDLE thread = InterlockedExchangePointer(&m_hThread, nullptr);
    if (thread) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
}

DWORD CAMThread::GetRequest()
{
    m_EventSend.Wait(INFINITE);
    return m_dwParam;
}

BOOL CAMThread::CheckRequest(DWORD* request)
{
    if (!m_bRequestPending.load(std::memory_order_acquire))
        return FALSE;
    if (request)
        *request = m_dwParam;
    return TRUE;
}

void CAMThread::Reply(DWORD result)
{
    m_dwReturnVal = result;
    // The request stays visible to CheckRequest and GetRequest until it is
    // answered; only the reply retires it.
    {
        CAutoLock retiring(&m_RequestLock);
        m_bRequestPending.store(false, std::memory_order_release);
        m_EventSend.Reset();
    }
    m_EventComplete.Set();
}
