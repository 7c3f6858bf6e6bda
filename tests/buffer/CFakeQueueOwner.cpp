#include "tests/buffer/CFakeQueueOwner.h"

#include <uuids.h>
#include <vfwmsgs.h>
#include "framework/CAutoLock.h"
#include "tests/kit/TestWait.h"

CFakeQueueOwner::CFakeQueueOwner() : m_pQueue(nullptr), m_pMaster(this), m_PositionValid(TRUE, FALSE)
{
    CoCreateInstance(CLSID_SystemClock, nullptr, CLSCTX_INPROC_SERVER, IID_IReferenceClock,
                     reinterpret_cast<void**>(m_pClock.GetAddressOf()));
}

CFakeQueueOwner::~CFakeQueueOwner() = default;

HRESULT CFakeQueueOwner::GetReferenceClock(IReferenceClock** clock)
{
    *clock = m_pClock.Get();
    if (!*clock)
        return S_FALSE;
    (*clock)->AddRef();
    return S_OK;
}

void CFakeQueueOwner::RaiseQueueEvent(long code, LONG_PTR param1, LONG_PTR param2)
{
    CAutoLock lock(&m_EventLock);
    m_Events.push_back({code, param1, param2});
}

HRESULT CFakeQueueOwner::GetMasterPlayState(REFERENCE_TIME* reference, REFERENCE_TIME* position, double* rate)
{
    CBufferQueue* master = m_pMaster->m_pQueue;
    return master ? master->GetPlayState(this, reference, position, rate) : VFW_E_WRONG_STATE;
}

HANDLE CFakeQueueOwner::CallerRelease(const void* caller)
{
    const CFakeQueueOwner* follower = static_cast<const CFakeQueueOwner*>(caller);
    return follower && follower->m_pQueue ? follower->m_pQueue->ReleaseEvent() : nullptr;
}

HRESULT CFakeQueueOwner::GetMasterPosition(REFERENCE_TIME* position)
{
    CBufferQueue* master = m_pMaster->m_pQueue;
    return master ? master->GetPosition(position) : VFW_E_WRONG_STATE;
}

REFERENCE_TIME CFakeQueueOwner::Now()
{
    REFERENCE_TIME now = 0;
    if (m_pClock)
        m_pClock->GetTime(&now);
    return now;
}

std::vector<QueueEvent> CFakeQueueOwner::Events()
{
    CAutoLock lock(&m_EventLock);
    return m_Events;
}

int CFakeQueueOwner::CountEvents(long code)
{
    int count = 0;
    for (const QueueEvent& event : Events())
        count += event.code == code ? 1 : 0;
    return count;
}

bool CFakeQueueOwner::WaitForEvent(long code, DWORD timeoutMs)
{
    return WaitUntil([&] { return CountEvents(code) > 0; }, timeoutMs);
}
