#include "sources/CV77DsARCLocalOutput.h"

#include <algorithm>
#include <new>

#include "sources/CV77DsARCAllocator.h"
#include "sources/CV77DsARCLocalMediaSample.h"
#include "sources/CV77DsARCSourceFilterBase.h"
#include "v77/IV77DsBuffer.h"
#include "v77/V77Guids.h"

namespace {

// Samples beyond what a buffer keeps queued: the one the receiver fills and
// those on their way through the buffer's output and the renderer.
constexpr LONG kInFlight = 4;

// A buffer downstream keeps its queued frames by reference (no copy), so our
// samples must cover its minimum count; 0 when pin is no buffer's.
LONG BufferMinimum(IMemInputPin* pin)
{
    IPin* peer = nullptr;
    if (FAILED(pin->QueryInterface(IID_IPin, reinterpret_cast<void**>(&peer))))
        return 0;
    PIN_INFO info = {};
    const HRESULT hr = peer->QueryPinInfo(&info);
    peer->Release();
    if (FAILED(hr) || !info.pFilter)
        return 0;
    LONG minimum = 0;
    IV77DsBuffer* buffer = nullptr;
    if (SUCCEEDED(info.pFilter->QueryInterface(IID_IV77DsBuffer, reinterpret_cast<void**>(&buffer)))) {
        if (FAILED(buffer->GetMinimumCount(&minimum)))
            minimum = 0;
        buffer->Release();
    }
    info.pFilter->Release();
    return minimum;
}

}  // namespace

CV77DsARCLocalOutput::CV77DsARCLocalOutput(CV77DsARCSourceFilterBase* filter, HRESULT* phr)
    : CV77DsARCSourceOutput(TEXT("ARCLocal OUTPUT"), filter, phr, L"ARCLocal OUTPUT")
{
    if (FAILED(*phr))
        return;
    m_pOwnAllocator = new (std::nothrow) CV77DsARCAllocator(nullptr);
    if (!m_pOwnAllocator) {
        *phr = E_OUTOFMEMORY;
        return;
    }
    m_pOwnAllocator->NonDelegatingAddRef();
}

CV77DsARCLocalOutput::~CV77DsARCLocalOutput()
{
    if (m_pOwnAllocator) {
        // Its free samples hold references on it until they are deleted.
        m_pOwnAllocator->Decommit();
        m_pOwnAllocator->NonDelegatingRelease();
    }
}

HRESULT CV77DsARCLocalOutput::DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator)
{
    if (!pin || !allocator)
        return E_POINTER;
    *allocator = nullptr;
    ALLOCATOR_PROPERTIES props = {};
    pin->GetAllocatorRequirements(&props);
    if (!m_pFilter->UseOwnAllocator() && FAILED(pin->GetAllocator(allocator)))
        *allocator = nullptr;
    if (!*allocator) {
        if (!m_pOwnAllocator)
            return E_OUTOFMEMORY;
        *allocator = m_pOwnAllocator;
        (*allocator)->AddRef();
        if (const LONG minimum = BufferMinimum(pin))
            props.cBuffers = std::max(props.cBuffers, minimum + kInFlight);
    }
    HRESULT hr = DecideBufferSize(*allocator, &props);
    if (SUCCEEDED(hr))
        hr = pin->NotifyAllocator(*allocator, TRUE);
    if (FAILED(hr)) {
        (*allocator)->Release();
        *allocator = nullptr;
    }
    return hr;
}

STDMETHODIMP CV77DsARCLocalOutput::GetBuffer(IUnknown* context, IMediaSample** ppSample)
{
    const HRESULT hr = CV77DsARCSourceOutput::GetBuffer(context, ppSample);
    if (FAILED(hr))
        return hr;
    // Another allocator's sample (SetUseOwnAllocator(FALSE)) carries no context.
    if (CV77DsARCLocalMediaSample* sample = CV77DsARCLocalMediaSample::FromSample(*ppSample))
        sample->AttachContext(context);
    return S_OK;
}
