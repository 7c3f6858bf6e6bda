#include "companions/components/archive/CV77ArchiveReceiver.h"

#include <vfwmsgs.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <utility>
#include <wrl/client.h>

#include "companions/V77Global/V77Global.h"
#include "v77/IV77DsBuffer.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

namespace {

// Longer stretches than this are never asked of the store in one go.
constexpr size_t kMaxStretch = 1000;

}  // namespace

CV77ArchiveReceiver::CV77ArchiveReceiver(const TCHAR* name, const char* logName)
    : CUnknown(name, nullptr), m_pszLogName(logName), m_hWake(CreateEventW(nullptr, FALSE, FALSE, nullptr))
{
}

CV77ArchiveReceiver::~CV77ArchiveReceiver()
{
    StopThread();
    if (m_hWake)
        CloseHandle(m_hWake);
    if (m_pDownstream)
        m_pDownstream->Release();
}

STDMETHODIMP CV77ArchiveReceiver::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IV77ArchiveReceiver)
        return GetInterface(static_cast<IV77ArchiveReceiver*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CV77ArchiveReceiver::Open(BSTR source1, BSTR source2, IV77ARCReceiverEvents* events, DWORD,
                                       SOURCE_INFORMATION* info, AM_MEDIA_TYPE* pmt)
{
    if (!events || !info || !pmt)
        return E_POINTER;
    if (!m_hWake)
        return E_OUTOFMEMORY;
    StopThread();
    if (m_bOpen) {
        CloseRecording();
        m_Index = CV77RecordingIndex();
        m_bOpen = false;
    }
    SOURCE_INFORMATION description = {};
    CMediaType mt;
    HRESULT hr = OpenRecording(source1, source2, &description, &mt);
    if (FAILED(hr)) {
        CloseRecording();
        m_Index = CV77RecordingIndex();
        return hr;
    }
    if (!Playable()) {
        Log("the recording holds no playable frame\n");
        CloseRecording();
        return VFW_E_INVALID_FILE_FORMAT;
    }
    hr = CopyMediaType(pmt, &mt);
    if (FAILED(hr)) {
        CloseRecording();
        return hr;
    }
    *info = description;
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_pEvents = events;
        m_bHasCommand = false;
    }
    m_tContinue = 0;
    m_bQuit = false;
    m_hThread = CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr);
    if (!m_hThread) {
        FreeMediaType(*pmt);
        CloseRecording();
        return HRESULT_FROM_WIN32(GetLastError());
    }
    m_bOpen = true;
    return S_OK;
}

STDMETHODIMP CV77ArchiveReceiver::Play(REFERENCE_TIME start, DWORD playMode, WORD playOption)
{
    if (!m_bOpen)
        return VFW_E_NOT_CONNECTED;
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Command.start = start;
        m_Command.mode = playMode;
        m_Command.option = playOption;
        m_bHasCommand = true;
        ++m_uCommands;
    }
    SetEvent(m_hWake);
    return S_OK;
}

STDMETHODIMP CV77ArchiveReceiver::Prepare()
{
    if (!m_bOpen)
        return VFW_E_NOT_CONNECTED;
    // The segment length of the buffer this source feeds: a longer stretch
    // could exhaust the buffer's pool while it waits for the stretch's end.
    size_t stretch = kDefaultStretch;
    ComPtr<IPin> pin;
    ComPtr<IPin> peer;
    PIN_INFO peerInfo = {};
    if (SUCCEEDED(m_pEvents->QueryInterface(IID_IPin, reinterpret_cast<void**>(pin.GetAddressOf()))) &&
        SUCCEEDED(pin->ConnectedTo(peer.GetAddressOf())) && SUCCEEDED(peer->QueryPinInfo(&peerInfo)) &&
        peerInfo.pFilter) {
        ComPtr<IV77DsBuffer> buffer;
        LONG minimum = 0;
        if (SUCCEEDED(peerInfo.pFilter->QueryInterface(IID_IV77DsBuffer, reinterpret_cast<void**>(buffer.GetAddressOf()))) &&
            SUCCEEDED(buffer->GetMinimumCount(&minimum)) && minimum >= 3)
            stretch = static_cast<size_t>(minimum / 3);
    }
    IBaseFilter* previous = peerInfo.pFilter;  // takes the reference QueryPinInfo gave
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        std::swap(previous, m_pDownstream);
    }
    if (previous)
        previous->Release();
    m_cStretch = std::min(stretch, kMaxStretch);
    return S_OK;
}

STDMETHODIMP CV77ArchiveReceiver::Stop()
{
    IBaseFilter* downstream = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_bHasCommand = false;
        ++m_uCommands;
        downstream = m_pDownstream;
        m_pDownstream = nullptr;
    }
    if (downstream)
        downstream->Release();
    SetEvent(m_hWake);
    return S_OK;
}

void CV77ArchiveReceiver::Log(const char* format, ...) const
{
    char line[512];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    g_ErrorHandling.WriteLog("%s: %s", m_pszLogName, line);
}

bool CV77ArchiveReceiver::ReadingAbandoned() const
{
    if (m_bQuit)
        return true;
    ComPtr<IBaseFilter> downstream;
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        downstream = m_pDownstream;
    }
    FILTER_STATE state = State_Running;
    return downstream && SUCCEEDED(downstream->GetState(0, &state)) && state == State_Stopped;
}

HRESULT CV77ArchiveReceiver::BeginStretch(REFERENCE_TIME position, DWORD type, size_t maxFrames, V77Stretch* stretch)
{
    *stretch = m_Index.ForRequest(position, type, maxFrames);
    return S_OK;
}

HRESULT CV77ArchiveReceiver::ReadStretchFrame(const V77Stretch& stretch, size_t i, BYTE* data, LONG capacity,
                                              StretchFrame* frame)
{
    const size_t index = stretch.first + i;
    const V77IndexedFrame& indexed = m_Index.Frame(index);
    frame->time = indexed.time;
    frame->duration = m_Index.DurationOf(index);
    frame->key = indexed.key;
    frame->written = 0;
    return ReadFrame(index, data, capacity, &frame->written);
}

size_t CV77ArchiveReceiver::StretchLength() const
{
    return m_cStretch.load();
}

void CV77ArchiveReceiver::StopThread()
{
    if (!m_hThread)
        return;
    m_bQuit = true;
    SetEvent(m_hWake);
    // The thread waits only on the wake event, on the buffer (released by its
    // Stop) and on the pin's allocator (released by decommit).
    WaitForSingleObject(m_hThread, INFINITE);
    CloseHandle(m_hThread);
    m_hThread = nullptr;
}

DWORD WINAPI CV77ArchiveReceiver::ThreadProc(void* self)
{
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    static_cast<CV77ArchiveReceiver*>(self)->Run();
    if (SUCCEEDED(hr))
        CoUninitialize();
    return 0;
}

bool CV77ArchiveReceiver::TakeCommand(PlayCommand* command)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    if (!m_bHasCommand)
        return false;
    *command = m_Command;
    m_bHasCommand = false;
    return true;
}

void CV77ArchiveReceiver::Run()
{
    while (!m_bQuit) {
        PlayCommand command;
        if (!TakeCommand(&command)) {
            WaitForSingleObject(m_hWake, INFINITE);
            continue;
        }
        Serve(command);
    }
}

void CV77ArchiveReceiver::Serve(const PlayCommand& command)
{
    for (;;) {
        const unsigned commands = m_uCommands.load();
        REFERENCE_TIME position = command.start;
        DWORD type = 0;
        WORD option = command.option;
        const HRESULT asked = m_pEvents->OnRequest(&position, &type, &option);
        if (asked == E_NOTIMPL) {
            // No buffer downstream: play on from the start, or after the last stretch.
            if (command.mode == 2) {
                position = m_tContinue;
                type = 2;
            }
            if (command.mode == 2 && m_tContinue <= 0) {
                m_pEvents->OnPlaybackEnd(S_FALSE, 0, 0, 0);
                return;
            }
        } else if (FAILED(asked)) {
            // The buffer stopped or shut down: nothing to read until the next Play.
            m_pEvents->OnPlaybackEnd(S_FALSE, 0, 0, 0);
            return;
        } else if (asked != S_OK) {
            // Nothing asked: wait for a while, or for Play, Stop or destruction.
            WaitForSingleObject(m_hWake, kRetryMs);
            if (m_bQuit || m_uCommands.load() != commands) {
                m_pEvents->OnPlaybackEnd(S_FALSE, 0, 0, 0);
                SetEvent(m_hWake);  // the command that woke us is taken by Run
                return;
            }
            continue;
        }
        V77Stretch stretch;
        HRESULT hr = BeginStretch(position, type, StretchLength(), &stretch);
        if (hr == S_FALSE) {
            m_pEvents->OnPlaybackEnd(S_FALSE, 0, 0, 0);
            return;
        }
        if (FAILED(hr)) {
            m_pEvents->OnPlaybackEnd(hr, 0, 0, 0);
            if (asked != S_OK || m_bQuit)
                return;
            continue;  // the buffer may still seek (see below)
        }
        if (asked == E_NOTIMPL && stretch.count == 0) {
            m_pEvents->OnPlaybackEnd(S_FALSE, 0, 0, 0);
            return;
        }
        LONG delivered = 0;
        HRESULT failure = S_OK;
        const End end = Deliver(stretch, &delivered, &failure);
        m_tContinue = stretch.next;
        if (end == End::Failed) {
            Log("cannot read frame %zu of the stretch at %lld (0x%08lX)\n", static_cast<size_t>(delivered),
                static_cast<long long>(position), static_cast<unsigned long>(failure));
            m_pEvents->OnPlaybackEnd(failure, delivered, 0, 0);
        } else {
            m_pEvents->OnPlaybackEnd(end == End::Done ? S_OK : S_FALSE, delivered, 0, stretch.next);
        }
        // A buffer is asked again until it stops (its failure ends the loop
        // above), whether or not the source restarts us: with auto restart
        // clear it does not, and after a failed stretch it never does, yet
        // the buffer may still seek. A stretch given up (the pin stopped
        // streaming) ends here: the source is stopping or seeking.
        if (asked != S_OK || end == End::Stopped || m_bQuit)
            return;
    }
}

CV77ArchiveReceiver::End CV77ArchiveReceiver::Deliver(const V77Stretch& stretch, LONG* delivered, HRESULT* failure)
{
    for (size_t i = 0; i < stretch.count; ++i) {
        if (m_bQuit)
            return End::Stopped;
        ComPtr<IUnknown> context;
        bool attach = false;
        HRESULT hr = TakeFrameContext(stretch, i, context.GetAddressOf(), &attach);
        if (hr == S_FALSE)
            return End::Stopped;
        if (FAILED(hr)) {
            *failure = hr;
            return End::Failed;
        }
        ComPtr<IMediaSample> sample;
        if (FAILED(m_pEvents->GetBuffer(attach ? context.Get() : nullptr, sample.GetAddressOf())) || !sample)
            return End::Stopped;
        BYTE* data = nullptr;
        if (FAILED(sample->GetPointer(&data)) || !data)
            return End::Stopped;
        StretchFrame frame;
        hr = ReadStretchFrame(stretch, i, data, sample->GetSize(), &frame);
        if (hr == S_FALSE)
            return End::Stopped;
        if (hr == VFW_E_BUFFER_OVERFLOW) {
            Log("frame at %lld does not fit a %ld-byte sample; skipped\n", static_cast<long long>(frame.time),
                static_cast<long>(sample->GetSize()));
            continue;
        }
        if (FAILED(hr)) {
            *failure = hr;
            return End::Failed;
        }
        sample->SetActualDataLength(frame.written);
        REFERENCE_TIME start = frame.time;
        REFERENCE_TIME stop = start + frame.duration;
        sample->SetMediaTime(&start, &stop);
        sample->SetTime(&start, &stop);
        sample->SetSyncPoint(frame.key ? TRUE : FALSE);
        sample->SetDiscontinuity(i == 0 ? TRUE : FALSE);
        if (FAILED(m_pEvents->OnSample(sample.Get())))
            return End::Stopped;
        ++*delivered;
    }
    return End::Done;
}
