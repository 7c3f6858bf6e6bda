// What the live receivers share: the IV77LiveReceiver calls, the stream
// thread, and the hand-over of frames to the source filter through its
// IV77RTPReceiverEvents.
//
// Threads and the events pointer. Open starts one stream thread that runs
// until Close; it calls the events interface, and only it does: GetBuffer
// (with the frame's context or null) for an empty sample, OnSample for the filled one, and
// OnStreamEventA / OnStreamEventB. The events pointer is not counted (the
// filter owns the receiver, so a count would be a cycle); it is used from
// Open until Close returns. Close stops the thread and waits for it, at most
// kCloseWaitMs: a thread blocked in GetBuffer on an exhausted pool is left
// to finish on its own (the filter's Decommit releases it) and calls nothing
// more. Close therefore never hangs on a dead peer or a full pool.
//
// Stream events: A when frames start flowing (the first frame after
// SetStreaming on, or after an interruption), B when the stream ends or
// breaks (peer closed or silent, file ended, capture process gone). After B
// IsOpen answers S_FALSE, so the filter's next Pause reconnects.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <atomic>
#include <functional>
#include <mutex>

#include "companions/components/live/CV77ReceiverAuxiliary.h"
#include "framework/CMediaType.h"
#include "framework/CUnknown.h"
#include "v77/IV77DsSource.h"
#include "v77/IV77Receivers.h"

// Status bit a receiver puts on the first frame after frames were lost
// (dwTypeSpecificFlags; the filter turns status changes into 0x8006).
constexpr DWORD V77_RECEIVER_STATUS_FRAMES_LOST = 0x00080000;
// dwTypeSpecificFlags of a marker sample (the AVI receiver's loop).
constexpr DWORD V77_RECEIVER_MARKER = 0x00010000;

// How one frame is marked when it is handed out.
struct V77FrameProperties {
    REFERENCE_TIME start = 0;   // capture time, 100 ns since 1601
    REFERENCE_TIME stop = 0;
    bool syncPoint = false;
    bool discontinuity = false;
    DWORD typeSpecificFlags = 0;
};

class CV77LiveReceiver : public CUnknown, public IV77LiveReceiver {
public:
    static constexpr DWORD kCloseWaitMs = 2000;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IV77LiveReceiver. Open on an open receiver closes it first.
    STDMETHODIMP Open(BSTR source1, BSTR source2, DWORD openValue, WORD openWord,
                      IV77RTPReceiverEvents* events) override;
    STDMETHODIMP Close() override;
    STDMETHODIMP IsOpen() override;
    STDMETHODIMP GetSourceInformation(SOURCE_INFORMATION* info) override;
    STDMETHODIMP GetMediaType(AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP SetStreaming(DWORD mask, WORD streamParameter) override;
    STDMETHODIMP SetStreamParameter(WORD value) override;
    STDMETHODIMP GetAuxiliaryInterface(void** ppv) override;
    STDMETHODIMP SetTimeParameter(REFERENCE_TIME value) override;
    STDMETHODIMP GetAverageFrameSize(double* bytes) override;
    STDMETHODIMP Reserved13() override { return E_NOTIMPL; }

protected:
    // logName prefixes the receiver's lines in the companion log.
    CV77LiveReceiver(const TCHAR* name, const char* logName, HRESULT* phr);
    ~CV77LiveReceiver() override;

    // Connects to the stream named by the Open strings and describes it.
    // Runs under the receiver lock with no stream thread; every wait in it is
    // bounded (a few seconds), since Close waits for it.
    virtual HRESULT OpenStream(BSTR source1, BSTR source2, SOURCE_INFORMATION* info, CMediaType* mt) = 0;
    // The stream thread's body: returns when StopRequested().
    virtual void Stream() = 0;
    // Unblocks Stream() (closes a socket, sets an event); any thread.
    virtual void Wake() = 0;
    // Frees what OpenStream acquired; the stream thread has ended or is
    // blocked in GetBuffer and will touch nothing more.
    virtual void CloseStream() = 0;

    // For Stream().
    bool StopRequested() const { return m_bStop.load(); }
    bool IsStreaming() const { return m_bStreaming.load(); }
    // Waits until streaming is on or a stop is requested, at most ms.
    bool WaitForStreaming(DWORD ms);
    // Sleeps up to ms; returns early (false) when a stop is requested.
    bool Pause(DWORD ms);
    // GetBuffer, fill (writes at most capacity bytes, sets *written, may
    // amend the properties from what it read), OnSample. S_FALSE when the
    // frame was not handed out (not streaming, stopping, too large for the
    // sample, fill refused). context, when given, rides on the sample until
    // the sample goes back to its allocator (the local source's samples).
    using Fill = std::function<bool(BYTE* data, LONG capacity, LONG* written, V77FrameProperties* properties)>;
    HRESULT DeliverFrame(const Fill& fill, V77FrameProperties properties, IUnknown* context = nullptr);
    HRESULT DeliverFrame(const BYTE* data, size_t size, const V77FrameProperties& properties,
                         IUnknown* context = nullptr);
    HRESULT DeliverMarker();
    // DeliverFrame in two halves, for a receiver that fills samples its own
    // way. AcquireSample: an empty sample carrying context, or S_FALSE with
    // none when nothing is to be handed out now (not streaming, stopping).
    // HandOver: marks the filled sample (written bytes of data), passes it
    // to the filter and releases it.
    HRESULT AcquireSample(IUnknown* context, IMediaSample** sample);
    HRESULT HandOver(IMediaSample* sample, LONG written, const V77FrameProperties& properties);
    // Raises stream event A once per run of frames; a stream that had ended
    // and delivers again counts as open again.
    void StreamStarted();
    // Whether stream event A was raised since streaming (re)started.
    bool IsFlowing() const { return m_bFlowing.load(); }
    // Raises stream event B and marks the stream ended (IsOpen: S_FALSE).
    void StreamEnded(const char* why);
    WORD StreamParameter() const { return m_wStreamParameter.load(); }
    REFERENCE_TIME TimeParameter() const { return m_tTimeParameter.load(); }
    static REFERENCE_TIME CaptureTime();
    // Writes one line to the companion log, prefixed with the receiver's name.
    void Log(const char* format, ...) const __attribute__((format(__MINGW_PRINTF_FORMAT, 2, 3)));
    // A media type for info, with extra bytes (decoder configuration) after the header.
    static HRESULT MakeMediaType(const SOURCE_INFORMATION& info, const BYTE* extra, size_t extraSize, CMediaType* mt);

private:
    static DWORD WINAPI ThreadProc(void* self);
    void StopThread();
    bool ReapLingering(DWORD ms);
    IV77RTPReceiverEvents* Events() const { return m_pEvents.load(); }

    const char* const m_pszLogName;
    std::mutex m_Lock;                       // Open, Close and the description
    std::atomic<IV77RTPReceiverEvents*> m_pEvents{nullptr};
    std::atomic<bool> m_bOpen{false};
    std::atomic<bool> m_bEnded{false};
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bStreaming{false};
    std::atomic<bool> m_bFlowing{false};     // stream event A raised for this run
    // Streaming switched off and a run's first frame decided on the stream
    // thread happen one after the other: a frame that passed the streaming
    // check just before Stop must not raise A (and mark a run) after it.
    std::mutex m_FlowLock;
    std::atomic<WORD> m_wStreamParameter{0};
    std::atomic<REFERENCE_TIME> m_tTimeParameter{0};
    HANDLE m_hWake;                          // manual reset: set while streaming is on, or at a stop
    HANDLE m_hStopped;                       // manual reset: set at a stop only
    HANDLE m_hThread = nullptr;
    HANDLE m_hLingering = nullptr;           // a stream thread that outlived Close
    SOURCE_INFORMATION m_Info = {};
    CMediaType m_MediaType;
    CV77ReceiverAuxiliary* m_pAux;           // counted
};
