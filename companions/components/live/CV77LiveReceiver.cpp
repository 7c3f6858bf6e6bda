#include "companions/components/live/CV77LiveReceiver.h"

#include <vfwmsgs.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "companions/V77Global/CGlobalErrorHandlingEnvironment.h"
#include "companions/components/archive/V77AviVideoFormat.h"
#include "companions/V77Media/V77Media.h"

namespace {

// A lingering stream thread gets this long to leave before a new Open gives up.
constexpr DWORD kReapWaitMs = 5000;

}  // namespace

CV77LiveReceiver::CV77LiveReceiver(const TCHAR* name, const char* logName, HRESULT* phr)
    : CUnknown(name, nullptr),
      m_pszLogName(logName),
      m_hWake(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_hStopped(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_pAux(new (std::nothrow) CV77ReceiverAuxiliary())
{
    if (m_pAux)
        m_pAux->NonDelegatingAddRef();
    if (phr && (!m_pAux || !m_hWake || !m_hStopped))
        *phr = E_OUTOFMEMORY;
}

CV77LiveReceiver::~CV77LiveReceiver()
{
    // The stream thread holds a reference while it runs, so it has ended.
    if (m_hThread)
        CloseHandle(m_hThread);
    if (m_hLingering)
        CloseHandle(m_hLingering);
    if (m_hWake)
        CloseHandle(m_hWake);
    if (m_hStopped)
        CloseHandle(m_hStopped);
    if (m_pAux)
        m_pAux->NonDelegatingRelease();
}

STDMETHODIMP CV77LiveReceiver::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IV77LiveReceiver)
        return GetInterface(static_cast<IV77LiveReceiver*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CV77LiveReceiver::Open(BSTR source1, BSTR source2, DWORD, WORD, IV77RTPReceiverEvents* events)
{
    if (!events)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_Lock);
    StopThread();
    if (!ReapLingering(kReapWaitMs)) {
        Log("Open: the previous stream thread is still blocked in GetBuffer\n");
        return HRESULT_FROM_WIN32(ERROR_BUSY);
    }
    m_bStop = false;
    m_bEnded = false;
    m_bFlowing = false;
    ResetEvent(m_hWake);
    ResetEvent(m_hStopped);
    SOURCE_INFORMATION info = {};
    CMediaType mt;
    HRESULT hr = OpenStream(source1, source2, &info, &mt);
    if (FAILED(hr)) {
        CloseStream();
        return hr;
    }
    m_Info = info;
    m_MediaType = mt;
    m_pAux->Attach(source2, source1);
    m_pEvents = events;
    m_bOpen = true;
    // The thread's own reference keeps this object (and the DLL) alive
    // while it runs, even past Close.
    NonDelegatingAddRef();
    m_hThread = CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr);
    if (!m_hThread) {
        hr = HRESULT_FROM_WIN32(GetLastError());
        NonDelegatingRelease();
        m_bOpen = false;
        m_pEvents = nullptr;
        CloseStream();
        return hr;
    }
    return S_OK;
}

DWORD WINAPI CV77LiveReceiver::ThreadProc(void* self)
{
    auto* receiver = static_cast<CV77LiveReceiver*>(self);
    receiver->Stream();
    receiver->NonDelegatingRelease();
    return 0;
}

STDMETHODIMP CV77LiveReceiver::Close()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    StopThread();
    return S_OK;
}

void CV77LiveReceiver::StopThread()
{
    if (!m_bOpen)
        return;
    m_bStop = true;
    m_bStreaming = false;
    SetEvent(m_hWake);
    SetEvent(m_hStopped);
    Wake();
    if (m_hThread) {
        if (WaitForSingleObject(m_hThread, kCloseWaitMs) == WAIT_OBJECT_0) {
            CloseHandle(m_hThread);
        } else {
            Log("Close: stream thread still busy after %lu ms; it ends on its own\n",
                static_cast<unsigned long>(kCloseWaitMs));
            m_hLingering = m_hThread;
        }
        m_hThread = nullptr;
    }
    CloseStream();
    m_pEvents = nullptr;
    m_bOpen = false;
}

bool CV77LiveReceiver::ReapLingering(DWORD ms)
{
    if (!m_hLingering)
        return true;
    if (WaitForSingleObject(m_hLingering, ms) != WAIT_OBJECT_0)
        return false;
    CloseHandle(m_hLingering);
    m_hLingering = nullptr;
    return true;
}

STDMETHODIMP CV77LiveReceiver::IsOpen() { return m_bOpen && !m_bEnded ? S_OK : S_FALSE; }

STDMETHODIMP CV77LiveReceiver::GetSourceInformation(SOURCE_INFORMATION* info)
{
    if (!info)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_Lock);
    if (!m_bOpen)
        return VFW_E_NOT_CONNECTED;
    *info = m_Info;
    return S_OK;
}

STDMETHODIMP CV77LiveReceiver::GetMediaType(AM_MEDIA_TYPE* pmt)
{
    if (!pmt)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_Lock);
    if (!m_bOpen)
        return VFW_E_NOT_CONNECTED;
    return CopyMediaType(pmt, &m_MediaType);
}

STDMETHODIMP CV77LiveReceiver::SetStreaming(DWORD mask, WORD streamParameter)
{
    if (mask == 0) {
        {
            std::lock_guard<std::mutex> flow(m_FlowLock);
            m_bStreaming = false;
            m_bFlowing = false;
        }
        // The stream thread sleeps in WaitForStreaming until the next Run.
        if (!m_bStop)
            ResetEvent(m_hWake);
        return S_OK;
    }
    if (!m_bOpen)
        return VFW_E_NOT_CONNECTED;
    m_wStreamParameter = streamParameter;
    m_bStreaming = true;
    SetEvent(m_hWake);
    return S_OK;
}

STDMETHODIMP CV77LiveReceiver::SetStreamParameter(WORD value)
{
    m_wStreamParameter = value;
    return S_OK;
}

STDMETHODIMP CV77LiveReceiver::GetAuxiliaryInterface(void** ppv)
{
    if (!ppv)
        return E_POINTER;
    return m_pAux->NonDelegatingQueryInterface(IID_IV77ReceiverAuxiliary, ppv);
}

STDMETHODIMP CV77LiveReceiver::SetTimeParameter(REFERENCE_TIME value)
{
    m_tTimeParameter = value;
    return S_OK;
}

STDMETHODIMP CV77LiveReceiver::GetAverageFrameSize(double* bytes) { return m_pAux->GetAverageFrameSize(bytes); }

bool CV77LiveReceiver::WaitForStreaming(DWORD ms)
{
    // m_hWake is set while streaming is on or a stop is asked: one wait, no
    // polling (an idle graph costs no wake-ups). A SetStreaming off racing
    // this wait at worst lets the caller look once more.
    if (!m_bStop && !m_bStreaming)
        WaitForSingleObject(m_hWake, ms);
    return m_bStreaming && !m_bStop;
}

bool CV77LiveReceiver::Pause(DWORD ms)
{
    // One wait, ended early by a stop: a paced receiver wakes once a frame.
    if (!m_bStop && ms)
        WaitForSingleObject(m_hStopped, ms);
    return !m_bStop;
}

HRESULT CV77LiveReceiver::AcquireSample(IUnknown* context, IMediaSample** sample)
{
    *sample = nullptr;
    IV77RTPReceiverEvents* events = Events();
    if (!events || m_bStop || !m_bStreaming)
        return S_FALSE;
    HRESULT hr = events->GetBuffer(context, sample);
    if (FAILED(hr) || !*sample) {
        *sample = nullptr;
        return FAILED(hr) ? hr : E_UNEXPECTED;
    }
    // Close may have come while GetBuffer waited: hand nothing more over.
    if (m_bStop || !m_bStreaming) {
        (*sample)->Release();
        *sample = nullptr;
        return S_FALSE;
    }
    return S_OK;
}

HRESULT CV77LiveReceiver::HandOver(IMediaSample* sample, LONG written, const V77FrameProperties& properties)
{
    IV77RTPReceiverEvents* events = Events();
    HRESULT hr = events ? sample->SetActualDataLength(written) : S_FALSE;
    if (hr == S_OK) {
        REFERENCE_TIME start = properties.start;
        REFERENCE_TIME stop = properties.stop;
        sample->SetTime(&start, &stop);
        sample->SetMediaTime(&start, &stop);
        sample->SetSyncPoint(properties.syncPoint);
        sample->SetDiscontinuity(properties.discontinuity);
        sample->SetPreroll(FALSE);
        if (properties.typeSpecificFlags) {
            IMediaSample2* sample2 = nullptr;
            if (SUCCEEDED(sample->QueryInterface(IID_IMediaSample2, reinterpret_cast<void**>(&sample2)))) {
                AM_SAMPLE2_PROPERTIES props = {};
                if (SUCCEEDED(sample2->GetProperties(sizeof props, reinterpret_cast<BYTE*>(&props)))) {
                    props.dwTypeSpecificFlags = properties.typeSpecificFlags;
                    sample2->SetProperties(sizeof props, reinterpret_cast<const BYTE*>(&props));
                }
                sample2->Release();
            }
        }
        if (!(properties.typeSpecificFlags & V77_RECEIVER_MARKER))
            m_pAux->CountFrame(static_cast<DWORD>(written));
        hr = events->OnSample(sample);
    }
    sample->Release();
    return hr;
}

HRESULT CV77LiveReceiver::DeliverFrame(const Fill& fill, V77FrameProperties properties, IUnknown* context)
{
    IMediaSample* sample = nullptr;
    HRESULT hr = AcquireSample(context, &sample);
    if (hr != S_OK)
        return hr;
    BYTE* data = nullptr;
    LONG written = 0;
    hr = sample->GetPointer(&data);
    if (FAILED(hr) || !fill(data, sample->GetSize(), &written, &properties)) {
        sample->Release();
        return FAILED(hr) ? hr : S_FALSE;
    }
    return HandOver(sample, written, properties);
}

HRESULT CV77LiveReceiver::DeliverFrame(const BYTE* data, size_t size, const V77FrameProperties& properties,
                                       IUnknown* context)
{
    return DeliverFrame(
        [&](BYTE* target, LONG capacity, LONG* written, V77FrameProperties*) {
            if (size > static_cast<size_t>(capacity)) {
                Log("frame of %zu bytes does not fit a %ld-byte sample; dropped\n", size, static_cast<long>(capacity));
                return false;
            }
            std::memcpy(target, data, size);
            *written = static_cast<LONG>(size);
            return true;
        },
        properties, context);
}

HRESULT CV77LiveReceiver::DeliverMarker()
{
    V77FrameProperties marker;
    marker.start = marker.stop = CaptureTime();
    marker.typeSpecificFlags = V77_RECEIVER_MARKER;
    return DeliverFrame(
        [](BYTE*, LONG, LONG* written, V77FrameProperties*) {
            *written = 0;
            return true;
        },
        marker);
}

void CV77LiveReceiver::StreamStarted()
{
    IV77RTPReceiverEvents* events = Events();
    {
        std::lock_guard<std::mutex> flow(m_FlowLock);
        if (!events || m_bStop || !m_bStreaming || m_bFlowing)
            return;
        m_bFlowing = true;
        m_bEnded = false;
    }
    // Raised outside the lock: the host may switch streaming from inside.
    events->OnStreamEventA();
}

void CV77LiveReceiver::StreamEnded(const char* why)
{
    Log("stream ended: %s\n", why);
    m_bEnded = true;
    m_bFlowing = false;
    IV77RTPReceiverEvents* events = Events();
    if (events && !m_bStop)
        events->OnStreamEventB();
}

REFERENCE_TIME CV77LiveReceiver::CaptureTime()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return static_cast<REFERENCE_TIME>((static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

void CV77LiveReceiver::Log(const char* format, ...) const
{
    char line[512];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    g_ErrorHandling.WriteLog("%s: %s", m_pszLogName, line);
}

HRESULT CV77LiveReceiver::MakeMediaType(const SOURCE_INFORMATION& info, const BYTE* extra, size_t extraSize,
                                        CMediaType* mt)
{
    return MakeVideoMediaType(info, extra, extraSize, mt);
}
