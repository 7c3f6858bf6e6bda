#include "tools/V77Capture/CCaptureArchive.h"

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

#include "companions/V77Media/V77Media.h"
#include "companions/components/recording/V77CaptureArchive.h"

namespace P = V77ArchiveProtocol;
namespace A = V77CaptureArchive;

namespace {

constexpr DWORD kSlotWaitMs = 50;
constexpr DWORD kPipeBufferBytes = 64 * 1024;

}  // namespace

CCaptureArchive::CCaptureArchive(const std::wstring& name, uint32_t slots, DWORD frameDelayMs)
    : m_Name(name),
      m_uSlots(slots),
      m_dwFrameDelayMs(frameDelayMs),
      m_Store([](const std::string& line) { std::fprintf(stderr, "V77Capture: %s", line.c_str()); })
{
}

HRESULT CCaptureArchive::Open(const std::wstring& storeFolder)
{
    const HRESULT hr = m_Store.OpenFolder(storeFolder, &m_Index);
    if (FAILED(hr))
        return hr;
    if (m_Index.Empty())
        return E_FAIL;
    // Each slot holds the largest frame; the stretch header needs 16 bytes.
    m_uSlotBytes = static_cast<uint32_t>(P::kStretchSize);
    for (size_t i = 0; i < m_Index.FrameCount(); ++i)
        m_uSlotBytes = std::max<uint32_t>(m_uSlotBytes, m_Index.Frame(i).size);
    if (m_uSlots == 0)
        m_uSlots = static_cast<uint32_t>(
            std::clamp<uint64_t>(kRingBudgetBytes / m_uSlotBytes, kMinSlots, kMaxSlots));
    return S_OK;
}

HANDLE CCaptureArchive::NewPipeInstance(bool first) const
{
    const std::wstring path = L"\\\\.\\pipe\\" + A::PipeName(m_Name);
    return CreateNamedPipeW(path.c_str(), PIPE_ACCESS_DUPLEX | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
                            PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
                            kPipeBufferBytes, kPipeBufferBytes, 0, nullptr);
}

HRESULT CCaptureArchive::Serve()
{
    unsigned serial = 0;
    for (bool first = true;; first = false) {
        HANDLE pipe = NewPipeInstance(first);
        if (pipe == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (first)
                return error == ERROR_ACCESS_DENIED || error == ERROR_PIPE_BUSY ? HRESULT_FROM_WIN32(ERROR_BUSY)
                                                                                : HRESULT_FROM_WIN32(error);
            Sleep(100);
            continue;
        }
        if (first) {
            std::printf("V77Capture: archive '%ls' serves %zu frames, %u slots of %u bytes per viewer, pid %lu\n",
                        m_Name.c_str(), m_Index.FrameCount(), m_uSlots, m_uSlotBytes,
                        static_cast<unsigned long>(GetCurrentProcessId()));
            std::fflush(stdout);
        }
        if (!ConnectNamedPipe(pipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) {
            CloseHandle(pipe);
            continue;
        }
        const unsigned id = ++serial;
        std::thread([this, pipe, id] {
            Viewer viewer;
            viewer.pipe = pipe;
            viewer.serial = id;
            ServeViewer(viewer);
            CloseHandle(pipe);
        }).detach();
    }
}

void CCaptureArchive::ServeViewer(Viewer& viewer)
{
    while (!viewer.gone) {
        uint8_t bytes[P::kRequestSize + 1];
        DWORD got = 0;
        if (!ReadFile(viewer.pipe, bytes, sizeof bytes, &got, nullptr)) {
            if (GetLastError() == ERROR_MORE_DATA)
                std::fprintf(stderr, "V77Capture: viewer %u sent an oversized request; disconnected\n", viewer.serial);
            return;
        }
        P::Request request;
        if (!P::Decode(bytes, got, &request)) {
            std::fprintf(stderr, "V77Capture: viewer %u sent a malformed request; disconnected\n", viewer.serial);
            return;
        }
        if (request.kind == P::kDescribe) {
            if (!Describe(viewer))
                return;
        } else if (!viewer.ring) {
            std::fprintf(stderr, "V77Capture: viewer %u asked for a stretch before describe; disconnected\n",
                         viewer.serial);
            return;
        } else {
            SendStretch(viewer, request);
        }
    }
}

std::string CCaptureArchive::RingName(const Viewer& viewer)
{
    // Unique in the session: this process's id and the viewer's number.
    return "V77Archive." + std::to_string(GetCurrentProcessId()) + "." + std::to_string(viewer.serial);
}

bool CCaptureArchive::Describe(Viewer& viewer)
{
    if (!viewer.ring) {
        const SOURCE_INFORMATION& info = m_Store.Information();
        V77CaptureFormat format;
        format.width = static_cast<uint32_t>(info.Width);
        format.height = static_cast<uint32_t>(info.Height < 0 ? -info.Height : info.Height);
        format.compression = info.Compression;
        format.bitCount = info.BitCount;
        format.frameTime = info.AvgTimePerFrame;
        const std::string name = RingName(viewer);
        const HRESULT hr = CV77CaptureRingMapping::Create(std::wstring(name.begin(), name.end()), format, m_uSlots,
                                                          m_uSlotBytes, &viewer.ring, nullptr);
        if (FAILED(hr)) {
            std::fprintf(stderr, "V77Capture: cannot make a ring for viewer %u (0x%08lx)\n", viewer.serial,
                         static_cast<unsigned long>(hr));
            return false;
        }
        viewer.ring->Ring().TakeOver(GetCurrentProcessId());
    }
    A::Describe describe;
    const CMediaType& mt = m_Store.MediaType();
    if (const BITMAPINFOHEADER* header = GetBitmapInfoHeaderFromMediaType(mt))
        describe.format.assign(reinterpret_cast<const BYTE*>(header),
                               static_cast<const BYTE*>(mt.Format() + mt.FormatLength()));
    describe.description.frameCount = static_cast<uint32_t>(m_Index.FrameCount());
    describe.description.frameTime = m_Store.Information().AvgTimePerFrame;
    describe.description.averageFrameSize = static_cast<uint32_t>(m_Index.AverageFrameSize() + 0.5);
    describe.ring = RingName(viewer);
    std::vector<uint8_t> out;
    A::Encode(describe, &out);
    DWORD written = 0;
    return WriteFile(viewer.pipe, out.data(), static_cast<DWORD>(out.size()), &written, nullptr) &&
           written == out.size();
}

bool CCaptureArchive::Interrupted(Viewer& viewer)
{
    DWORD available = 0;
    if (!PeekNamedPipe(viewer.pipe, nullptr, 0, nullptr, &available, nullptr)) {
        viewer.gone = true;
        return true;
    }
    return available > 0;
}

int CCaptureArchive::WaitForSlot(Viewer& viewer)
{
    CV77CaptureRingMapping& mapping = *viewer.ring;
    for (;;) {
        const int slot = mapping.Ring().BeginWriteFree();
        if (slot >= 0)
            return slot;
        if (Interrupted(viewer))
            return -1;
        // Every slot is unread or leased: the viewer gives one back sooner or later.
        WaitForSingleObject(mapping.ReturnedEvent(), kSlotWaitMs);
    }
}

void CCaptureArchive::Publish(Viewer& viewer, int slot, uint32_t index, int64_t time, int64_t duration,
                              uint32_t length, uint32_t flags)
{
    CV77CaptureRing& ring = viewer.ring->Ring();
    ring.Header().heartbeat.store(GetTickCount64());
    ring.SetDuration(static_cast<uint32_t>(slot), duration);
    ring.Publish(static_cast<uint32_t>(slot), A::Sequence(viewer.stretch, index), time, length, flags);
    SetEvent(viewer.ring->FrameEvent());
}

void CCaptureArchive::SendStretch(Viewer& viewer, const P::Request& request)
{
    ++viewer.stretch;
    const V77Stretch stretch = m_Index.ForRequest(request.position, request.type, request.maxFrames);
    int slot = WaitForSlot(viewer);
    if (slot < 0)
        return;
    P::StretchHeader header;
    header.count = static_cast<uint32_t>(stretch.count);
    header.next = stretch.next;
    std::vector<uint8_t> bytes;
    P::Encode(header, &bytes);
    CV77CaptureRing& ring = viewer.ring->Ring();
    std::copy(bytes.begin(), bytes.end(), ring.SlotData(static_cast<uint32_t>(slot)));
    Publish(viewer, slot, 0, request.position, 0, static_cast<uint32_t>(bytes.size()), kV77CaptureStretchHeader);
    for (size_t i = 0; i < stretch.count; ++i) {
        if (m_dwFrameDelayMs)
            Sleep(m_dwFrameDelayMs);
        // A new request abandons this stretch: the viewer no longer waits for it.
        if (Interrupted(viewer) || (slot = WaitForSlot(viewer)) < 0)
            return;
        const size_t index = stretch.first + i;
        const V77IndexedFrame& frame = m_Index.Frame(index);
        LONG written = 0;
        HRESULT hr;
        {
            std::lock_guard<std::mutex> lock(m_ReadLock);
            hr = m_Store.Read(frame, ring.SlotData(static_cast<uint32_t>(slot)), static_cast<LONG>(m_uSlotBytes),
                              &written);
        }
        const auto number = static_cast<uint32_t>(i + 1);
        if (FAILED(hr)) {
            std::fprintf(stderr, "V77Capture: cannot read the frame at %lld for viewer %u (0x%08lX)\n",
                         static_cast<long long>(frame.time), viewer.serial, static_cast<unsigned long>(hr));
            Publish(viewer, slot, number, frame.time, 0, 0, kV77CaptureStretchFailed);
            return;
        }
        Publish(viewer, slot, number, frame.time, m_Index.DurationOf(index), static_cast<uint32_t>(written),
                frame.key ? kV77CaptureSyncPoint : 0);
    }
}
