// What the archive receivers share: the IV77ArchiveReceiver calls and the
// reading thread that serves the buffer's requests from a recording index.
//
// Open builds the index (the variant's OpenRecording) and starts the thread;
// it lives until the receiver is destroyed or opened again. Play queues a
// play command and wakes the thread; the thread then asks the source which
// stretch to read (IV77ARCReceiverEvents::OnRequest, which waits on the
// buffer downstream), reads that stretch into samples from GetBuffer, hands
// them over with OnSample and reports the end with OnPlaybackEnd (the source
// answers an S_OK end with the next Play when auto restart is set). While a
// buffer asks, the thread asks it again after each stretch, restarted or not
// (a failed stretch is never restarted, yet the buffer may seek), until it
// stops or the pin stops streaming; without one, one Play, one stretch:
//   S_OK      the stretch was delivered; next = where the following one begins;
//   S_FALSE   nothing more to do (the source stopped streaming, the buffer
//             stopped, or, without a buffer, the recording ended): the
//             source does not restart, so the thread sleeps until Play,
//             Stop or destruction;
//   failure   a frame could not be read (the source raises 0x8005).
// The thread never spins: with nothing asked (S_FALSE from OnRequest) it
// waits on its wake event (Play, Stop, destruction) for up to
// kRetryMs before asking again.
//
// Without a buffer downstream (OnRequest: E_NOTIMPL) Play's start is a seek
// and play mode 2 continues after the stretch delivered last.
//
// Samples carry the recorded times as media times and sample times, the key
// flags of the index as sync points, and a discontinuity on each stretch's
// first frame. A stretch holds at most one buffer segment of frames (found
// at Prepare from the buffer the pin feeds; kDefaultStretch without one), so
// the buffer's pool always has room for it.
//
// A variant with a local index only reads frames (ReadFrame); one that asks
// a server for its stretches overrides BeginStretch and ReadStretchFrame, and
// one whose frames arrive leased, TakeFrameContext.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <atomic>
#include <mutex>

#include "companions/components/recording/CV77RecordingIndex.h"
#include "framework/CMediaType.h"
#include "framework/CUnknown.h"
#include "v77/IV77DsSource.h"
#include "v77/IV77Receivers.h"

class CV77ArchiveReceiver : public CUnknown, public IV77ArchiveReceiver {
public:
    static constexpr size_t kDefaultStretch = 10;
    static constexpr DWORD kRetryMs = 100;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IV77ArchiveReceiver
    STDMETHODIMP Open(BSTR source1, BSTR source2, IV77ARCReceiverEvents* events, DWORD zero,
                      SOURCE_INFORMATION* info, AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP Play(REFERENCE_TIME start, DWORD playMode, WORD playOption) override;
    STDMETHODIMP Reserved5() override { return E_NOTIMPL; }
    STDMETHODIMP Prepare() override;
    STDMETHODIMP Stop() override;

protected:
    CV77ArchiveReceiver(const TCHAR* name, const char* logName);
    ~CV77ArchiveReceiver() override;

    // Reads the recording the Open strings name into m_Index and describes it.
    // Runs with no reading thread.
    virtual HRESULT OpenRecording(BSTR source1, BSTR source2, SOURCE_INFORMATION* info, CMediaType* mt) = 0;
    // Reads frame index of m_Index (reading thread).
    virtual HRESULT ReadFrame(size_t index, BYTE* data, LONG capacity, LONG* written) = 0;
    // Frees what OpenRecording acquired; the reading thread has ended.
    virtual void CloseRecording() = 0;
    // Whether the opened recording holds a frame to play.
    virtual bool Playable() const { return !m_Index.Empty(); }

    // One frame of a stretch as it is handed over.
    struct StretchFrame {
        REFERENCE_TIME time = 0;
        REFERENCE_TIME duration = 0;
        bool key = false;
        LONG written = 0;
    };
    // Finds the stretch of kind type (0 seek, 2 forward, 3 backward) at
    // position, at most maxFrames long (reading thread).
    virtual HRESULT BeginStretch(REFERENCE_TIME position, DWORD type, size_t maxFrames, V77Stretch* stretch);
    // Before frame i of the stretch is read: an object to keep alive until
    // the frame is read, in *context with a reference, or null; *attach: the
    // sample is to carry it on (the source attaches it to a sample of its own
    // allocator). S_FALSE and failures as ReadStretchFrame.
    virtual HRESULT TakeFrameContext(const V77Stretch&, size_t, IUnknown** context, bool* attach)
    {
        *context = nullptr;
        *attach = false;
        return S_OK;
    }
    // Frame i of the stretch begun into data: S_OK, S_FALSE when reading
    // was given up (ReadingAbandoned), VFW_E_BUFFER_OVERFLOW when it does
    // not fit (frame still describes it), or the failure.
    virtual HRESULT ReadStretchFrame(const V77Stretch& stretch, size_t i, BYTE* data, LONG capacity,
                                     StretchFrame* frame);
    // True when waiting on for data is pointless: the receiver is closing,
    // or the filter the source feeds has stopped (a graph stops it first).
    bool ReadingAbandoned() const;
    // Ends the reading thread; a variant whose reads use its own members
    // calls it from its destructor, before they go.
    void StopThread();

    void Log(const char* format, ...) const __attribute__((format(__MINGW_PRINTF_FORMAT, 2, 3)));

    CV77RecordingIndex m_Index;

private:
    struct PlayCommand {
        REFERENCE_TIME start = 0;
        DWORD mode = 0;
        WORD option = 0;
    };
    enum class End { Done, Stopped, Failed };

    static DWORD WINAPI ThreadProc(void* self);
    void Run();
    bool TakeCommand(PlayCommand* command);
    void Serve(const PlayCommand& command);
    // Delivers the stretch; *delivered counts the frames handed over.
    End Deliver(const V77Stretch& stretch, LONG* delivered, HRESULT* failure);
    size_t StretchLength() const;

    const char* const m_pszLogName;
    mutable std::mutex m_Lock;               // Open, the play command, the downstream filter
    IV77ARCReceiverEvents* m_pEvents = nullptr;  // not counted: the source owns us
    HANDLE m_hWake;                          // auto reset: Play, Stop, quit
    HANDLE m_hThread = nullptr;
    std::atomic<bool> m_bQuit{false};
    std::atomic<bool> m_bOpen{false};
    std::atomic<unsigned> m_uCommands{0};    // Play and Stop calls so far
    bool m_bHasCommand = false;
    PlayCommand m_Command;
    std::atomic<size_t> m_cStretch{kDefaultStretch};
    IBaseFilter* m_pDownstream = nullptr;    // under m_Lock; counted, from Prepare to Stop
    REFERENCE_TIME m_tContinue = 0;          // reading thread: where mode 2 goes on without a buffer
};
