#include "tests/kit/CTestRendererInputPin.h"

#include "tests/kit/CTestRenderer.h"

namespace {

// A test that forgets to unblock must not hang the upstream thread forever.
constexpr DWORD kGateTimeoutMs = 10000;

}  // namespace

CTestRendererInputPin::CTestRendererInputPin(CTestRenderer* renderer, HRESULT* phr)
    : CRendererInputPin(renderer, phr, L"In"),
      m_pTestRenderer(renderer),
      m_pOffered(nullptr),
      m_Open(TRUE, TRUE),
      m_Blocked(TRUE, FALSE),
      m_SegmentStart(0)
{
}

STDMETHODIMP CTestRendererInputPin::GetAllocator(IMemAllocator** allocator)
{
    if (!allocator)
        return E_POINTER;
    *allocator = nullptr;
    const TestRendererConfig& config = m_pTestRenderer->Config();
    switch (config.offer) {
    case TestRendererConfig::Offer::None:
        return VFW_E_NO_ALLOCATOR;
    case TestRendererConfig::Offer::Custom:
        if (!config.customAllocator)
            return VFW_E_NO_ALLOCATOR;
        *allocator = config.customAllocator;
        (*allocator)->AddRef();
        m_pOffered = *allocator;
        return S_OK;
    case TestRendererConfig::Offer::Default:
    default: {
        HRESULT hr = CRendererInputPin::GetAllocator(allocator);
        if (SUCCEEDED(hr))
            m_pOffered = *allocator;
        return hr;
    }
    }
}

STDMETHODIMP CTestRendererInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly)
{
    if (m_pTestRenderer->Config().refuseForeignAllocators && allocator != m_pOffered) {
        ++refusedAllocators;
        return E_FAIL;
    }
    HRESULT hr = CRendererInputPin::NotifyAllocator(allocator, readOnly);
    if (SUCCEEDED(hr))
        notifiedReadOnly = readOnly;
    return hr;
}

STDMETHODIMP CTestRendererInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props)
{
    if (!props)
        return E_POINTER;
    const TestRendererConfig& config = m_pTestRenderer->Config();
    if (!config.haveRequirements)
        return E_NOTIMPL;
    *props = config.requirements;
    return S_OK;
}

void CTestRendererInputPin::WaitAtGate()
{
    if (m_Open.Check())
        return;
    ++blockedReceives;
    m_Blocked.Set();
    m_Open.Wait(kGateTimeoutMs);
    m_Blocked.Reset();
}

STDMETHODIMP CTestRendererInputPin::Receive(IMediaSample* sample)
{
    ++receiveCalls;
    WaitAtGate();
    HRESULT hr = CRendererInputPin::Receive(sample);
    lastReceiveResult = hr;
    return hr;
}

STDMETHODIMP CTestRendererInputPin::BeginFlush()
{
    ++beginFlushes;
    m_Open.Set();
    return CRendererInputPin::BeginFlush();
}

STDMETHODIMP CTestRendererInputPin::EndFlush()
{
    ++endFlushes;
    return CRendererInputPin::EndFlush();
}

STDMETHODIMP CTestRendererInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    ++newSegments;
    m_SegmentStart = start;
    return CRendererInputPin::NewSegment(start, stop, rate);
}

HRESULT CTestRendererInputPin::Inactive()
{
    m_Open.Set();
    return CRendererInputPin::Inactive();
}

void CTestRendererInputPin::Block()
{
    m_Open.Reset();
}

void CTestRendererInputPin::Unblock()
{
    m_Open.Set();
}

bool CTestRendererInputPin::WaitUntilBlocked(DWORD timeoutMs)
{
    return m_Blocked.Wait(timeoutMs) != FALSE;
}
