#include "audio/CV77TcpAudioOutput.h"

#include <algorithm>

#include "framework/CAutoLock.h"
#include "framework/CSource.h"

CV77TcpAudioOutput::CV77TcpAudioOutput(const TCHAR* objectName, HRESULT* phr, CSource* filter, LPCWSTR pinName)
    : CSourceStream(objectName, phr, filter, pinName), m_Suggested(), m_Actual(), m_SampleEvent(TRUE, FALSE),
      m_bRunning(false)
{
}

CV77TcpAudioOutput::~CV77TcpAudioOutput()
{
    // Samples the channel handed over after the last Inactive go back to their allocator.
    CAutoLock lock(&m_QueueLock);
    ClearQueue();
}

STDMETHODIMP CV77TcpAudioOutput::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IAMBufferNegotiation)
        return GetInterface(static_cast<IAMBufferNegotiation*>(this), ppv);
    if (riid == IID_IAMStreamConfig)
        return GetInterface(static_cast<IAMStreamConfig*>(this), ppv);
    // IAMPushSource extends IAMLatency; it is not answered for its own IID, so
    // the graph does not treat the pin as a push source with its own clock.
    if (riid == IID_IAMLatency)
        return GetInterface(static_cast<IAMLatency*>(static_cast<IAMPushSource*>(this)), ppv);
    return CSourceStream::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CV77TcpAudioOutput::CheckMediaType(const CMediaType* mt)
{
    CAutoLock lock(m_pLock);
    return (mt && *mt == m_MediaType) ? S_OK : S_FALSE;
}

HRESULT CV77TcpAudioOutput::GetMediaType(int position, CMediaType* mt)
{
    CAutoLock lock(m_pLock);
    if (position < 0)
        return E_INVALIDARG;
    if (position >= 1)
        return VFW_S_NO_MORE_ITEMS;
    *mt = m_MediaType;
    return S_OK;
}

HRESULT CV77TcpAudioOutput::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    ALLOCATOR_PROPERTIES props;
    props.cBuffers = m_Suggested.cBuffers != 0 ? m_Suggested.cBuffers : request->cBuffers;
    props.cbBuffer = m_Suggested.cbBuffer != 0 ? m_Suggested.cbBuffer : request->cbBuffer;
    props.cbAlign = std::max(m_Suggested.cbAlign, request->cbAlign);
    props.cbPrefix = std::max(m_Suggested.cbPrefix, request->cbPrefix);
    return allocator->SetProperties(&props, &m_Actual);
}

void CV77TcpAudioOutput::ClearQueue()
{
    for (IMediaSample* sample : m_Queue)
        sample->Release();
    m_Queue.clear();
}

HRESULT CV77TcpAudioOutput::GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME*, REFERENCE_TIME*, DWORD)
{
    if (!sample)
        return E_POINTER;
    *sample = nullptr;
    for (;;) {
        IMediaSample* taken = nullptr;
        bool running = false;
        {
            CAutoLock lock(&m_QueueLock);
            running = m_bRunning;
            if (!m_Queue.empty()) {
                taken = m_Queue.front();
                m_Queue.pop_front();
                if (m_Queue.size() >= kTrimAt) {
                    while (m_Queue.size() > kTrimTo) {
                        m_Queue.front()->Release();
                        m_Queue.pop_front();
                    }
                }
            } else if (running) {
                // Reset under the lock after the emptiness test: a sample queued
                // after this point sets the event again.
                m_SampleEvent.Reset();
            }
        }
        if (taken) {
            *sample = taken;
            return S_OK;
        }
        if (!running)
            return E_FAIL;
        m_SampleEvent.Wait();   // Inactive sets it
    }
}

HRESULT CV77TcpAudioOutput::Active()
{
    {
        CAutoLock lock(&m_QueueLock);
        m_bRunning = true;
        ClearQueue();
        m_SampleEvent.Reset();
    }
    return CSourceStream::Active();
}

HRESULT CV77TcpAudioOutput::Inactive()
{
    {
        CAutoLock lock(&m_QueueLock);
        m_bRunning = false;
        ClearQueue();
        m_SampleEvent.Set();
    }
    return CSourceStream::Inactive();
}

HRESULT CV77TcpAudioOutput::Enqueue(IMediaSample* sample)
{
    if (!sample)
        return E_POINTER;
    CAutoLock lock(&m_QueueLock);
    sample->AddRef();
    m_Queue.push_back(sample);
    m_SampleEvent.Set();
    return S_OK;
}

HRESULT CV77TcpAudioOutput::GetEmptyBuffer(IMediaSample** sample)
{
    if (!sample)
        return E_POINTER;
    *sample = nullptr;
    if (!m_pAllocator)
        return E_NOINTERFACE;
    return CSourceStream::GetDeliveryBuffer(sample, nullptr, nullptr, 0);
}

size_t CV77TcpAudioOutput::QueuedCount()
{
    CAutoLock lock(&m_QueueLock);
    return m_Queue.size();
}

STDMETHODIMP CV77TcpAudioOutput::SuggestAllocatorProperties(const ALLOCATOR_PROPERTIES* props)
{
    if (!props)
        return E_POINTER;
    m_Suggested = *props;
    return S_OK;
}

STDMETHODIMP CV77TcpAudioOutput::GetAllocatorProperties(ALLOCATOR_PROPERTIES* props)
{
    if (!props)
        return E_POINTER;
    *props = m_Actual;
    return S_OK;
}

STDMETHODIMP CV77TcpAudioOutput::SetFormat(AM_MEDIA_TYPE* pmt)
{
    if (!pmt)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    m_MediaType = *pmt;
    return S_OK;
}

STDMETHODIMP CV77TcpAudioOutput::GetFormat(AM_MEDIA_TYPE** ppmt)
{
    if (!ppmt)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    *ppmt = CreateMediaType(&m_MediaType);
    return *ppmt ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CV77TcpAudioOutput::GetLatency(REFERENCE_TIME* latency)
{
    if (!latency)
        return E_POINTER;
    *latency = 0;
    return S_OK;
}

STDMETHODIMP CV77TcpAudioOutput::GetPushSourceFlags(ULONG* flags)
{
    if (!flags)
        return E_POINTER;
    *flags = AM_PUSHSOURCECAPS_PRIVATE_CLOCK;
    return S_OK;
}

STDMETHODIMP CV77TcpAudioOutput::SetStreamOffset(REFERENCE_TIME offset)
{
    return offset > 10000000 ? S_FALSE : S_OK;
}

STDMETHODIMP CV77TcpAudioOutput::GetStreamOffset(REFERENCE_TIME* offset)
{
    if (!offset)
        return E_POINTER;
    *offset = 0;
    return S_OK;
}

STDMETHODIMP CV77TcpAudioOutput::GetMaxStreamOffset(REFERENCE_TIME* offset)
{
    if (!offset)
        return E_POINTER;
    *offset = 10000000;
    return S_OK;
}
