#include "tests/sources/CTestLiveReceiver.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vfwmsgs.h>
#include "companions/V77Media/V77Media.h"
#include "tests/sources/CTestContext.h"
#include "v77/V77Guids.h"

SOURCE_INFORMATION Yuy2Information(LONG width, LONG height)
{
    SOURCE_INFORMATION info = {};
    info.AvgTimePerFrame = 400000;
    info.Width = width;
    info.Height = height;
    info.Compression = MAKEFOURCC('Y', 'U', 'Y', '2');
    info.BitCount = 16;
    return info;
}

CTestLiveReceiver* CTestLiveReceiver::Create(const ReceiverScript& script)
{
    return new CTestLiveReceiver(script);
}

CTestLiveReceiver::CTestLiveReceiver(const ReceiverScript& script)
    : m_cRef(1),
      m_Script(script),
      m_Next(script.info),
      m_Info{},
      m_pEvents(nullptr),
      m_bOpen(false),
      m_hStop(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
}

CTestLiveReceiver::~CTestLiveReceiver()
{
    Close();
    CloseHandle(m_hStop);
}

STDMETHODIMP CTestLiveReceiver::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IV77LiveReceiver)
        *ppv = static_cast<IV77LiveReceiver*>(this);
    else if (riid == IID_IV77TcpReceiver)
        *ppv = static_cast<IV77TcpReceiver*>(this);
    else if (riid == IID_IV77DsAviSource)
        *ppv = static_cast<IV77DsAviSource*>(this);
    else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CTestLiveReceiver::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
}

STDMETHODIMP_(ULONG) CTestLiveReceiver::Release()
{
    const LONG ref = InterlockedDecrement(&m_cRef);
    if (ref == 0)
        delete this;
    return static_cast<ULONG>(ref);
}

STDMETHODIMP CTestLiveReceiver::Open(BSTR, BSTR, DWORD, WORD, IV77RTPReceiverEvents* events)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    ++opens;
    if (m_Next.Width == 0)
        return HRESULT_FROM_WIN32(ERROR_NOT_CONNECTED);  // no camera answers
    m_Info = m_Next;
    m_pEvents = events;
    m_bOpen = true;
    return S_OK;
}

STDMETHODIMP CTestLiveReceiver::Close()
{
    StopThread();
    ReleaseHeld();
    std::lock_guard<std::mutex> lock(m_Lock);
    if (m_bOpen)
        ++closes;
    m_bOpen = false;
    return S_OK;
}

STDMETHODIMP CTestLiveReceiver::IsOpen()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_bOpen ? S_OK : S_FALSE;
}

STDMETHODIMP CTestLiveReceiver::GetSourceInformation(SOURCE_INFORMATION* info)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    *info = m_Info;
    return S_OK;
}

STDMETHODIMP CTestLiveReceiver::GetMediaType(AM_MEDIA_TYPE* pmt)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    CMediaType mt = GetMediaTypeFromSourceInformation(m_Info);
    return CopyMediaType(pmt, &mt);
}

STDMETHODIMP CTestLiveReceiver::SetStreaming(DWORD mask, WORD streamParameter)
{
    if (mask == 0) {
        StopThread();
        return S_OK;
    }
    lastStreamParameter = streamParameter;
    std::lock_guard<std::mutex> lock(m_Lock);
    if (!m_bOpen)
        return VFW_E_NOT_CONNECTED;
    if (m_Thread.joinable())
        return S_OK;
    ResetEvent(m_hStop);
    m_Thread = std::thread([this] { Stream(); });
    return S_OK;
}

void CTestLiveReceiver::StopThread()
{
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        SetEvent(m_hStop);
        thread.swap(m_Thread);
    }
    if (thread.joinable())
        thread.join();
}

void CTestLiveReceiver::Stream()
{
    int frame = 0;
    while (WaitForSingleObject(m_hStop, 0) == WAIT_TIMEOUT &&
           (m_Script.frameCount < 0 || frame < m_Script.frameCount)) {
        if (!SendFrame(frame)) {
            // No sample now (not committed, shut down): try again shortly unless stopped.
            WaitForSingleObject(m_hStop, 2);
            continue;
        }
        if (m_Script.eventsA.count(frame))
            m_pEvents->OnStreamEventA();
        if (m_Script.eventsB.count(frame))
            m_pEvents->OnStreamEventB();
        ++frame;
        if (m_Script.intervalMs)
            WaitForSingleObject(m_hStop, m_Script.intervalMs);
    }
}

bool CTestLiveReceiver::SendFrame(int frame)
{
    IUnknown* context = m_Script.withContext ? CTestContext::Create() : nullptr;
    IMediaSample* sample = nullptr;
    inGetBuffer = true;
    HRESULT hr = m_pEvents->GetBuffer(context, &sample);
    inGetBuffer = false;
    if (context)
        context->Release();  // the sample holds it now
    if (FAILED(hr) || !sample) {
        ++getBufferFailures;
        return false;
    }
    Decorate(frame, sample);
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Delivered.insert(sample);
    }
    hr = m_pEvents->OnSample(sample);
    ++framesSent;
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        if (hr != S_OK)
            m_Results.push_back(hr);
        if (m_Script.holdSamples)
            m_Held.push_back(sample);
        else
            sample->Release();
    }
    return true;
}

void CTestLiveReceiver::Decorate(int frame, IMediaSample* sample)
{
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    const LONG size = sample->GetSize();
    const LONG image = m_Info.Width * std::abs(m_Info.Height) * m_Info.BitCount / 8;
    const LONG length = image > 0 ? std::min(size, image) : size;
    if (length >= 4)
        std::memcpy(data, &frame, sizeof(frame));
    sample->SetActualDataLength(length);
    LONGLONG start = frame * m_Script.frameTime;
    LONGLONG stop = start + m_Script.frameTime;
    sample->SetMediaTime(&start, &stop);
    sample->SetSyncPoint(TRUE);

    DWORD flags = 0;
    if (m_Script.markers.count(frame))
        flags = 0x00010000;
    else if (m_Script.status.count(frame))
        flags = m_Script.status.at(frame);
    if (!flags)
        return;
    IMediaSample2* sample2 = nullptr;
    if (FAILED(sample->QueryInterface(IID_IMediaSample2, reinterpret_cast<void**>(&sample2))))
        return;
    AM_SAMPLE2_PROPERTIES props = {};
    sample2->GetProperties(sizeof(props), reinterpret_cast<BYTE*>(&props));
    props.dwTypeSpecificFlags = flags;
    sample2->SetProperties(sizeof(props), reinterpret_cast<const BYTE*>(&props));
    sample2->Release();
}

void CTestLiveReceiver::ReleaseHeld()
{
    std::vector<IMediaSample*> held;
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        held.swap(m_Held);
    }
    for (IMediaSample* sample : held)
        sample->Release();
}

STDMETHODIMP CTestLiveReceiver::SetStreamParameter(WORD value)
{
    lastStreamParameter = value;
    return S_OK;
}

STDMETHODIMP CTestLiveReceiver::GetAuxiliaryInterface(void** ppv)
{
    ++auxiliaryCalls;
    if (ppv)
        *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CTestLiveReceiver::SetTimeParameter(REFERENCE_TIME value)
{
    lastTimeParameter = value;
    return S_OK;
}

STDMETHODIMP CTestLiveReceiver::GetAverageFrameSize(double* bytes)
{
    *bytes = 1000.0;
    return S_OK;
}

STDMETHODIMP CTestLiveReceiver::Configure(DWORD a, double b, DWORD c)
{
    lastConfigureA = a;
    lastConfigureB = b;
    lastConfigureC = c;
    return S_OK;
}

STDMETHODIMP CTestLiveReceiver::Configure(DWORD a, DWORD b)
{
    lastConfigureA = a;
    lastConfigureC = b;
    return S_FALSE;
}

void CTestLiveReceiver::SetInformation(const SOURCE_INFORMATION& info)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Next = info;
}

bool CTestLiveReceiver::Delivered(const void* sample)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_Delivered.count(sample) != 0;
}

std::vector<HRESULT> CTestLiveReceiver::SampleResults()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_Results;
}
