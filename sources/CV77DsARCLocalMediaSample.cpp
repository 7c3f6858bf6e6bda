#include "sources/CV77DsARCLocalMediaSample.h"

#include "v77/IV77SamplePool.h"
#include "v77/V77Guids.h"

const GUID IID_V77LocalSample = {0xACA33DFE, 0xBAAA, 0x4195, {0xA7, 0x31, 0x67, 0xC9, 0x90, 0x13, 0xF1, 0x55}};

CV77DsARCLocalMediaSample::CV77DsARCLocalMediaSample(IMemAllocator* allocator)
    : CUnknown(TEXT("Media sample"), nullptr), m_pInner(nullptr), m_pContext(nullptr), m_pAllocator(allocator)
{
    if (m_pAllocator)
        m_pAllocator->AddRef();
    // Aggregated: the pool item's IMediaSample counts on this object.
    if (FAILED(CoCreateInstance(CLSID_V77PoolItem, Outer(), CLSCTX_INPROC_SERVER, IID_IUnknown,
                                reinterpret_cast<void**>(&m_pInner))))
        m_pInner = nullptr;
}

CV77DsARCLocalMediaSample::~CV77DsARCLocalMediaSample()
{
    IMemAllocator* allocator = m_pAllocator;
    m_pAllocator = nullptr;
    if (m_pContext)
        m_pContext->Release();
    if (m_pInner)
        m_pInner->Release();
    // Last: this may be the allocator's final reference.
    if (allocator)
        allocator->Release();
}

CV77DsARCLocalMediaSample* CV77DsARCLocalMediaSample::FromSample(IUnknown* sample)
{
    void* object = nullptr;
    if (!sample || FAILED(sample->QueryInterface(IID_V77LocalSample, &object)))
        return nullptr;
    return static_cast<CV77DsARCLocalMediaSample*>(object);
}

STDMETHODIMP CV77DsARCLocalMediaSample::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IMediaSample || riid == IID_IMediaSample2 || riid == IID_IV77PoolItem) {
        *ppv = nullptr;
        return m_pInner ? m_pInner->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    if (riid == IID_V77LocalSample) {
        *ppv = this;
        return S_OK;
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) CV77DsARCLocalMediaSample::NonDelegatingAddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
}

STDMETHODIMP_(ULONG) CV77DsARCLocalMediaSample::NonDelegatingRelease()
{
    if (InterlockedDecrement(&m_cRef) != 0)
        return 1;
    // Back to the allocator, context or not: a sample that stayed out would
    // starve it.
    if (m_pContext) {
        IUnknown* context = m_pContext;
        m_pContext = nullptr;
        context->Release();
    }
    IMediaSample* sample = nullptr;
    if (!m_pInner || FAILED(m_pInner->QueryInterface(IID_IMediaSample, reinterpret_cast<void**>(&sample)))) {
        // Nothing to hand back through: the allocator cannot queue it.
        delete this;
        return 1;
    }
    InterlockedDecrement(&m_cRef);  // the query's reference, without coming back here
    IMemAllocator* allocator = m_pAllocator;
    if (!allocator) {
        delete this;
        return 1;
    }
    allocator->ReleaseBuffer(sample);  // may delete this
    return 1;
}

void CV77DsARCLocalMediaSample::AttachContext(IUnknown* context)
{
    if (context == m_pContext)
        return;
    if (context)
        context->AddRef();
    IUnknown* old = m_pContext;
    m_pContext = context;
    if (old)
        old->Release();
}

HRESULT CV77DsARCLocalMediaSample::AllocateMemory(DWORD size)
{
    IV77PoolItem* item = nullptr;
    if (!m_pInner || FAILED(m_pInner->QueryInterface(IID_IV77PoolItem, reinterpret_cast<void**>(&item))))
        return E_NOINTERFACE;
    const HRESULT hr = item->Allocate(size);
    // The query counted on this sample; dropping it must not hand the sample back.
    InterlockedDecrement(&m_cRef);
    return hr;
}
