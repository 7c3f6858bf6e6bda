#include "tests/kit/CEventSinkGraph.h"

#include "framework/CAutoLock.h"
#include "tests/kit/TestWait.h"

CEventSinkGraph::CEventSinkGraph() : m_pClock(nullptr), m_cRef(1)
{
}

CEventSinkGraph::~CEventSinkGraph() = default;

STDMETHODIMP CEventSinkGraph::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IFilterGraph)
        *ppv = static_cast<IFilterGraph*>(this);
    else if (riid == IID_IMediaEventSink)
        *ppv = static_cast<IMediaEventSink*>(this);
    else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

// Lives on the test's stack: counting only, no deletion.
STDMETHODIMP_(ULONG) CEventSinkGraph::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
}

STDMETHODIMP_(ULONG) CEventSinkGraph::Release()
{
    return static_cast<ULONG>(InterlockedDecrement(&m_cRef));
}

STDMETHODIMP CEventSinkGraph::Notify(long code, LONG_PTR param1, LONG_PTR param2)
{
    REFERENCE_TIME now = 0;
    if (m_pClock)
        m_pClock->GetTime(&now);
    CAutoLock lock(&m_Lock);
    m_Events.push_back(Event{code, param1, param2, now});
    return S_OK;
}

std::vector<CEventSinkGraph::Event> CEventSinkGraph::Events()
{
    CAutoLock lock(&m_Lock);
    return m_Events;
}

int CEventSinkGraph::Count(long code)
{
    CAutoLock lock(&m_Lock);
    int count = 0;
    for (const Event& event : m_Events)
        count += event.code == code ? 1 : 0;
    return count;
}

bool CEventSinkGraph::WaitFor(long code, int count, DWORD timeoutMs)
{
    return WaitUntil([&] { return Count(code) >= count; }, timeoutMs);
}
