#include "tests/kit/CTestSourceStream.h"

#include <algorithm>
#include "framework/CAutoLock.h"
#include "framework/CSource.h"
#include "tests/kit/TestMediaTypes.h"

namespace {

// Bounds on test waits inside the worker: a broken test must not hang it.
constexpr DWORD kGateTimeoutMs = 10000;
constexpr DWORD kIdleTimeoutMs = 60000;

}  // namespace

CTestSourceStream::CTestSourceStream(HRESULT* phr, CSource* filter, const TestSourceConfig& config)
    : CSourceStream(TEXT("Test source stream"), phr, filter, L"Out"),
      CSourceSeeking(TEXT("Test source seeking"), static_cast<IPin*>(this), phr, filter->pStateLock()),
      m_Config(config),
      m_NextFrame(0),
      m_FirstFrame(0),
      m_Gate(TRUE, FALSE),
      m_Abort(TRUE, FALSE),
      m_Decided(),
      m_SegmentStart(0),
      m_SegmentStop(0),
      m_SegmentRate(1.0)
{
    m_rtDuration = m_Config.frameDuration * m_Config.frameCount;
    m_rtStop = m_rtDuration;
    m_SegmentStop = m_rtStop;
    // The pool must outlive the stream, whatever the test does first.
    if (m_Config.sampleAllocator)
        m_Config.sampleAllocator->AddRef();
}

CTestSourceStream::~CTestSourceStream()
{
    if (m_Config.sampleAllocator)
        m_Config.sampleAllocator->Release();
}

STDMETHODIMP CTestSourceStream::QueryInterface(REFIID riid, void** ppv)
{
    return CSourceStream::GetOwner()->QueryInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) CTestSourceStream::AddRef()
{
    return CSourceStream::GetOwner()->AddRef();
}

STDMETHODIMP_(ULONG) CTestSourceStream::Release()
{
    return CSourceStream::GetOwner()->Release();
}

STDMETHODIMP CTestSourceStream::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IMediaSeeking)
        return GetInterface(static_cast<IMediaSeeking*>(this), ppv);
    return CSourceStream::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) CTestSourceStream::NonDelegatingAddRef()
{
    return CSourceStream::NonDelegatingAddRef();
}

STDMETHODIMP_(ULONG) CTestSourceStream::NonDelegatingRelease()
{
    return CSourceStream::NonDelegatingRelease();
}

HRESULT CTestSourceStream::GetMediaType(CMediaType* mt)
{
    *mt = m_Config.mediaType;
    return S_OK;
}

HRESULT CTestSourceStream::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cBuffers = std::max(m_Config.buffers, request->cBuffers);
    wanted.cbBuffer = std::max(m_Config.bufferSize, request->cbBuffer);
    wanted.cbAlign = std::max(1L, request->cbAlign);
    wanted.cbPrefix = std::max(0L, request->cbPrefix);
    ALLOCATOR_PROPERTIES actual = {};
    HRESULT hr = allocator->SetProperties(&wanted, &actual);
    if (FAILED(hr))
        return hr;
    if (actual.cbBuffer < wanted.cbBuffer)
        return E_FAIL;
    CAutoLock lock(&m_SharedState);
    m_Decided = actual;
    return S_OK;
}

HRESULT CTestSourceStream::DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator)
{
    if (!m_Config.insistOnOwnAllocator) {
        HRESULT hr = CSourceStream::DecideAllocator(pin, allocator);
        if (SUCCEEDED(hr) && m_Config.readOnly)
            hr = pin->NotifyAllocator(*allocator, TRUE);
        return hr;
    }
    *allocator = nullptr;
    ALLOCATOR_PROPERTIES request = {};
    HRESULT hr = InitAllocator(allocator);
    if (SUCCEEDED(hr))
        hr = DecideBufferSize(*allocator, &request);
    if (SUCCEEDED(hr))
        hr = pin->NotifyAllocator(*allocator, m_Config.readOnly ? TRUE : FALSE);
    if (FAILED(hr) && *allocator) {
        (*allocator)->Release();
        *allocator = nullptr;
    }
    return hr;
}

HRESULT CTestSourceStream::GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                             DWORD flags)
{
    if (m_Config.sampleAllocator)
        return m_Config.sampleAllocator->GetBuffer(sample, start, stop, flags);
    return CSourceStream::GetDeliveryBuffer(sample, start, stop, flags);
}

HRESULT CTestSourceStream::Deliver(IMediaSample* sample)
{
    {
        CAutoLock lock(&m_SharedState);
        m_Delivered.insert(sample);
    }
    HRESULT hr = CSourceStream::Deliver(sample);
    lastDeliverResult = hr;
    if (hr == S_OK)
        ++framesDelivered;
    return hr;
}

HRESULT CTestSourceStream::Active()
{
    m_Abort.Reset();
    if (m_Config.sampleAllocator && IsConnected()) {
        HRESULT hr = m_Config.sampleAllocator->Commit();
        if (FAILED(hr))
            return hr;
    }
    return CSourceStream::Active();
}

HRESULT CTestSourceStream::Inactive()
{
    m_Abort.Set();
    // Releases a worker waiting for a pooled buffer.
    if (m_Config.sampleAllocator)
        m_Config.sampleAllocator->Decommit();
    return CSourceStream::Inactive();
}

STDMETHODIMP CTestSourceStream::Notify(IBaseFilter*, Quality)
{
    ++qualityMessages;
    return S_OK;
}

void CTestSourceStream::ReleaseGate()
{
    m_Gate.Set();
}

bool CTestSourceStream::Delivered(IMediaSample* sample)
{
    CAutoLock lock(&m_SharedState);
    return m_Delivered.count(sample) != 0;
}

ALLOCATOR_PROPERTIES CTestSourceStream::DecidedProperties()
{
    CAutoLock lock(&m_SharedState);
    return m_Decided;
}

bool CTestSourceStream::WaitAtGate()
{
    ++gateWaits;
    HANDLE handles[2] = {m_Gate.Handle(), m_Abort.Handle()};
    return WaitForMultipleObjects(2, handles, FALSE, kGateTimeoutMs) == WAIT_OBJECT_0;
}

void CTestSourceStream::WriteFrame(IMediaSample* sample, int frame)
{
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    LONG length = std::min(m_Config.frameBytes, sample->GetSize());
    for (LONG i = 0; i < length; ++i)
        data[i] = TestFrameByte(frame, i);
    sample->SetActualDataLength(length);
}

HRESULT CTestSourceStream::FillBuffer(IMediaSample* sample)
{
    if (m_Config.gated && !WaitAtGate())
        return S_FALSE;
    int frame = 0;
    int first = 0;
    REFERENCE_TIME stop = 0;
    {
        // Never the filter lock here: Stop holds it while waiting for us.
        CAutoLock lock(&m_SharedState);
        frame = m_NextFrame;
        first = m_FirstFrame;
        stop = m_SegmentStop;
    }
    const REFERENCE_TIME duration = m_Config.frameDuration;
    if (frame >= m_Config.frameCount || frame * duration >= stop) {
        if (m_Config.endOfStream)
            return S_FALSE;
        // No end of stream: idle until the stream stops.
        m_Abort.Wait(kIdleTimeoutMs);
        return S_FALSE;
    }
    if (frame == m_Config.failAtFrame)
        return m_Config.failResult;

    WriteFrame(sample, frame);
    if (m_Config.timeStamps) {
        REFERENCE_TIME start = (frame - first) * duration;
        REFERENCE_TIME end = start + duration;
        sample->SetTime(&start, &end);
    } else {
        sample->SetTime(nullptr, nullptr);
    }
    if (m_Config.mediaTimes) {
        LONGLONG mediaStart = frame * duration;
        LONGLONG mediaEnd = mediaStart + duration;
        sample->SetMediaTime(&mediaStart, &mediaEnd);
    }
    sample->SetSyncPoint(TRUE);
    sample->SetDiscontinuity(frame == first);
    {
        CAutoLock lock(&m_SharedState);
        ++m_NextFrame;
    }
    ++framesFilled;
    return S_OK;
}

HRESULT CTestSourceStream::OnThreadCreate()
{
    ++threadCreates;
    return S_OK;
}

HRESULT CTestSourceStream::OnThreadDestroy()
{
    ++threadDestroys;
    return S_OK;
}

HRESULT CTestSourceStream::OnThreadStartPlay()
{
    ++startPlays;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    double rate = 1.0;
    {
        CAutoLock lock(&m_SharedState);
        start = m_SegmentStart;
        stop = m_SegmentStop;
        rate = m_SegmentRate;
    }
    DeliverNewSegment(start, stop, rate);
    return S_OK;
}

HRESULT CTestSourceStream::DeliverEndOfStream()
{
    ++endOfStreams;
    return CSourceStream::DeliverEndOfStream();
}

void CTestSourceStream::CopySegment()
{
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    double rate = 1.0;
    {
        CAutoLock lock(CSourceSeeking::m_pLock);
        start = m_rtStart;
        stop = m_rtStop;
        rate = m_dRateSeeking;
    }
    CAutoLock lock(&m_SharedState);
    m_SegmentStart = start;
    m_SegmentStop = stop;
    m_SegmentRate = rate;
}

HRESULT CTestSourceStream::Restart()
{
    REFERENCE_TIME start = 0;
    {
        CAutoLock lock(CSourceSeeking::m_pLock);
        start = m_rtStart;
    }
    int frame = static_cast<int>(std::max<REFERENCE_TIME>(0, start / m_Config.frameDuration));
    bool streaming = ThreadExists();
    if (streaming) {
        // Flushing first releases a worker blocked downstream.
        DeliverBeginFlush();
        Stop();
    }
    {
        CAutoLock lock(&m_SharedState);
        m_NextFrame = frame;
        m_FirstFrame = frame;
    }
    CopySegment();
    if (streaming) {
        DeliverEndFlush();
        Pause();
    }
    return S_OK;
}

HRESULT CTestSourceStream::ChangeStart()
{
    ++changeStarts;
    return Restart();
}

HRESULT CTestSourceStream::ChangeStop()
{
    ++changeStops;
    CopySegment();
    return S_OK;
}

HRESULT CTestSourceStream::ChangeRate()
{
    ++changeRates;
    CopySegment();
    return S_OK;
}
