#include "tests/buffer/CFakeBufferMember.h"

#include "v77/V77Guids.h"

STDMETHODIMP CFakeBufferMember::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IV77DsBufferMaster) {
        *ppv = static_cast<IV77DsBufferMaster*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CFakeBufferMember::AddSlave(IV77DsBufferMaster* slave)
{
    ++addSlaves;
    lastSlave = slave;
    return S_OK;
}

STDMETHODIMP CFakeBufferMember::SetRate(double rate)
{
    ++setRates;
    lastRate = rate;
    return result;
}

STDMETHODIMP CFakeBufferMember::SetPositions(REFERENCE_TIME* current, REFERENCE_TIME*, REFERENCE_TIME*)
{
    ++setPositions;
    lastPosition = current ? *current : 0;
    return result;
}

STDMETHODIMP CFakeBufferMember::RemoveSlave(IV77DsBufferMaster* slave)
{
    ++removeSlaves;
    lastSlave = slave;
    return S_OK;
}

STDMETHODIMP CFakeBufferMember::ReleaseMaster()
{
    ++releaseMasters;
    return S_OK;
}
