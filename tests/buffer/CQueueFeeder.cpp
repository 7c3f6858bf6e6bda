#include "tests/buffer/CQueueFeeder.h"

#include <objbase.h>
#include "framework/CAutoLock.h"
#include "tests/buffer/TestFrames.h"
#include "tests/kit/TestWait.h"

CQueueFeeder::CQueueFeeder(CBufferQueue* queue, const SyntheticRecording& recording)
    : m_pQueue(queue), m_Recording(recording), m_hrFail(S_OK), m_hThread(nullptr)
{
    m_hThread = CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr);
}

CQueueFeeder::~CQueueFeeder()
{
    if (m_hThread) {
        WaitForSingleObject(m_hThread, INFINITE);
        CloseHandle(m_hThread);
    }
}

DWORD WINAPI CQueueFeeder::ThreadProc(LPVOID self)
{
    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    static_cast<CQueueFeeder*>(self)->Serve();
    if (SUCCEEDED(hr))
        CoUninitialize();
    return 0;
}

void CQueueFeeder::Serve()
{
    for (;;) {
        REFERENCE_TIME position = 0;
        DWORD type = 0;
        WORD flush = 0;
        HRESULT hr = m_pQueue->GetRequest(&position, &type, &flush);
        if (FAILED(hr))
            return;  // stopped or shut down
        if (hr != S_OK)
            continue;
        if (flush) {
            m_pQueue->Abort();
            m_pQueue->Flush();
        }
        const SyntheticRecording::Stretch stretch = m_Recording.ForRequest(position, type);
        {
            CAutoLock lock(&m_Lock);
            m_Requests.push_back({position, type, flush, stretch.first, stretch.count});
        }
        const HRESULT fail = m_hrFail.load();
        if (FAILED(fail)) {
            m_pQueue->OnRequestDone(fail, 0, 0, 0);
            continue;
        }
        Deliver(stretch);
        m_pQueue->OnRequestDone(S_OK, stretch.count, 0, stretch.next);
    }
}

void CQueueFeeder::Deliver(const SyntheticRecording::Stretch& stretch)
{
    for (int i = 0; i < stretch.count; ++i) {
        const int frame = stretch.first + i;
        m_pQueue->Add(MakeFrame(frame, m_Recording.TimeOf(frame), m_Recording.Duration()).Get());
    }
}

std::vector<FeederRequest> CQueueFeeder::Requests()
{
    CAutoLock lock(&m_Lock);
    return m_Requests;
}

size_t CQueueFeeder::RequestCount()
{
    CAutoLock lock(&m_Lock);
    return m_Requests.size();
}

bool CQueueFeeder::WaitForRequests(size_t count, DWORD timeoutMs)
{
    return WaitUntil([&] { return RequestCount() >= count; }, timeoutMs);
}
