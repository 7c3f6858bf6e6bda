#include "companions/components/archive/CV77LocalArchiveReceiver.h"
#include "companions/components/common/V77ComponentCreation.h"

#include <vfwmsgs.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "companions/components/archive/V77AviVideoFormat.h"
#include "companions/components/local/CV77RingLease.h"
#include "companions/components/recording/V77CaptureArchive.h"

namespace P = V77ArchiveProtocol;
namespace A = V77CaptureArchive;

namespace {

HRESULT Garbage()
{
    return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
}

bool IsPath(const std::wstring& source)
{
    return source.find_first_of(L"\\/:") != std::wstring::npos;
}

}  // namespace

CUnknown* CV77LocalArchiveReceiver::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    return CreateUnaggregated(outer, phr, [] { return new (std::nothrow) CV77LocalArchiveReceiver(); });
}

CV77LocalArchiveReceiver::CV77LocalArchiveReceiver()
    : CV77StoreReceiver(TEXT("V77 local archive receiver"), "V77LocalArchiveReceiver")
{
}

HRESULT CV77LocalArchiveReceiver::OpenRecording(BSTR source1, BSTR source2, SOURCE_INFORMATION* info,
                                                CMediaType* mt)
{
    const std::wstring source = source1 ? std::wstring(source1, SysStringLen(source1)) : std::wstring();
    m_bCapture = !IsPath(source);
    if (!m_bCapture)
        return CV77StoreReceiver::OpenRecording(source1, source2, info, mt);
    if (!CV77CaptureRingMapping::IsValidName(source))
        return E_INVALIDARG;
    m_Name = source;
    m_Format.clear();
    const HRESULT hr = Attach(kAttachWaitMs, info, mt);
    if (hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))
        Log("no capture process serves the archive '%ls': is V77Capture --store running?\n", m_Name.c_str());
    return hr;
}

void CV77LocalArchiveReceiver::CloseRecording()
{
    Detach();
    m_uFrames = 0;
    CV77StoreReceiver::CloseRecording();
}

void CV77LocalArchiveReceiver::Detach()
{
    m_Channel.Close();
    // Leases still riding on samples keep the ring mapped until they come back.
    m_Mapping.reset();
    if (m_hProducer) {
        CloseHandle(m_hProducer);
        m_hProducer = nullptr;
    }
    m_uStretch = 0;
}

HRESULT CV77LocalArchiveReceiver::Lost(HRESULT hr, const char* what)
{
    Detach();
    if (hr == HRESULT_FROM_WIN32(ERROR_TIMEOUT))
        Log("capture process %lu of '%ls' sent nothing for %lu ms %s\n", static_cast<unsigned long>(m_dwProducerPid),
            m_Name.c_str(), static_cast<unsigned long>(kStallMs), what);
    else if (hr == Garbage())
        Log("capture process %lu of '%ls' answered garbage %s\n", static_cast<unsigned long>(m_dwProducerPid),
            m_Name.c_str(), what);
    else
        Log("capture process %lu of '%ls' is gone %s (0x%08lX)\n", static_cast<unsigned long>(m_dwProducerPid),
            m_Name.c_str(), what, static_cast<unsigned long>(hr));
    return hr;
}

HRESULT CV77LocalArchiveReceiver::Attach(DWORD waitMs, SOURCE_INFORMATION* info, CMediaType* mt)
{
    Detach();
    HRESULT hr = m_Channel.Connect(m_Name, waitMs);
    if (FAILED(hr))
        return hr;
    P::Request request;
    request.kind = P::kDescribe;
    std::vector<uint8_t> bytes;
    P::Encode(request, &bytes);
    hr = m_Channel.Send(bytes, kStallMs);
    if (SUCCEEDED(hr))
        hr = m_Channel.Receive(&bytes, A::kMaxDescribeSize, kStallMs);
    if (FAILED(hr))
        return Lost(hr, "before describing its recording");
    A::Describe describe;
    if (!A::Decode(bytes.data(), bytes.size(), &describe))
        return Lost(Garbage(), "to describe");
    const std::wstring ring(describe.ring.begin(), describe.ring.end());
    hr = CV77CaptureRingMapping::Open(ring, &m_Mapping);
    if (FAILED(hr))
        return Lost(hr, "before its ring could be mapped");
    m_dwProducerPid = m_Mapping->Ring().Header().producerPid.load();
    m_hProducer = OpenProcess(SYNCHRONIZE, FALSE, m_dwProducerPid);
    if (!m_hProducer)
        return Lost(HRESULT_FROM_WIN32(ERROR_BROKEN_PIPE), "before its ring could be watched");
    m_Mapping->Ring().Header().consumerPid.store(GetCurrentProcessId());
    if (!info) {
        // Connecting again: the same recording, or nothing.
        if (describe.format != m_Format || describe.description.frameCount != m_uFrames)
            return Lost(HRESULT_FROM_WIN32(ERROR_BAD_FORMAT), "and serves another recording now");
        return S_OK;
    }
    hr = DescribeAviVideo(describe.format, describe.description.frameTime, info, mt);
    if (FAILED(hr)) {
        Detach();
        Log("capture process of '%ls' serves video that cannot be played\n", m_Name.c_str());
        return hr;
    }
    m_Format = describe.format;
    m_uFrames = describe.description.frameCount;
    return S_OK;
}

void CV77LocalArchiveReceiver::GiveBack(const V77CaptureLease& lease)
{
    if (m_Mapping->Ring().Return(lease))
        SetEvent(m_Mapping->ReturnedEvent());
}

HRESULT CV77LocalArchiveReceiver::NextSlot(V77CaptureLease* lease)
{
    CV77CaptureRing& ring = m_Mapping->Ring();
    const DWORD pid = GetCurrentProcessId();
    DWORD start = GetTickCount();
    for (;;) {
        while (ring.TakeOldest(pid, lease)) {
            if (A::StretchOf(lease->sequence) == m_uStretch)
                return S_OK;
            GiveBack(*lease);  // left from a stretch given up
        }
        if (ReadingAbandoned())
            return S_FALSE;
        // With every slot leased the capture process waits for us, not we for it.
        if (ring.CountLeased() >= ring.Header().slotCount)
            start = GetTickCount();
        if (GetTickCount() - start >= kStallMs)
            return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
        HANDLE waits[2] = {m_Mapping->FrameEvent(), m_hProducer};
        if (WaitForMultipleObjects(2, waits, FALSE, kSliceMs) == WAIT_OBJECT_0 + 1) {
            // What it published before it went is still to be had.
            if (!ring.TakeOldest(pid, lease))
                return HRESULT_FROM_WIN32(ERROR_BROKEN_PIPE);
            if (A::StretchOf(lease->sequence) == m_uStretch)
                return S_OK;
            GiveBack(*lease);
        }
    }
}

HRESULT CV77LocalArchiveReceiver::BeginStretch(REFERENCE_TIME position, DWORD type, size_t maxFrames,
                                               V77Stretch* stretch)
{
    if (!m_bCapture)
        return CV77StoreReceiver::BeginStretch(position, type, maxFrames, stretch);
    if (!m_Channel.Connected()) {
        const HRESULT hr = Attach(kReattachWaitMs, nullptr, nullptr);
        if (FAILED(hr)) {
            Log("cannot reach the capture process of '%ls' (0x%08lX)\n", m_Name.c_str(),
                static_cast<unsigned long>(hr));
            return hr;
        }
    }
    P::Request request;
    request.kind = P::kStretch;
    request.position = position;
    request.type = type == 2 || type == 3 ? type : 0;
    request.maxFrames = static_cast<uint32_t>(std::min<size_t>(std::max<size_t>(maxFrames, 1), P::kMaxStretchFrames));
    std::vector<uint8_t> bytes;
    P::Encode(request, &bytes);
    ++m_uStretch;
    HRESULT hr = m_Channel.Send(bytes, kStallMs);
    if (FAILED(hr))
        return Lost(hr, "before a stretch request");
    V77CaptureLease lease;
    hr = NextSlot(&lease);
    if (hr != S_OK)
        return hr == S_FALSE ? hr : Lost(hr, "before answering a stretch request");
    P::StretchHeader header;
    const bool valid = (lease.flags & kV77CaptureStretchHeader) && A::IndexOf(lease.sequence) == 0 &&
                       P::Decode(m_Mapping->Ring().LeasedData(lease), lease.length, request.maxFrames, &header);
    GiveBack(lease);
    if (!valid)
        return Lost(Garbage(), "to a stretch request");
    stretch->first = 0;
    stretch->count = header.count;
    stretch->next = header.next;
    return S_OK;
}

HRESULT CV77LocalArchiveReceiver::TakeFrameContext(const V77Stretch& stretch, size_t i, IUnknown** context,
                                                   bool* attach)
{
    *context = nullptr;
    *attach = false;
    if (!m_bCapture)
        return S_OK;
    const HRESULT hr = NextSlot(&m_Lease);
    if (hr != S_OK)
        return hr == S_FALSE ? hr : Lost(hr, "in the middle of a stretch");
    if (m_Lease.flags & kV77CaptureStretchFailed) {
        GiveBack(m_Lease);
        Log("capture process of '%ls' could not read frame %zu of %zu of the stretch\n", m_Name.c_str(), i,
            stretch.count);
        return HRESULT_FROM_WIN32(ERROR_READ_FAULT);
    }
    if (A::IndexOf(m_Lease.sequence) != i + 1) {
        GiveBack(m_Lease);
        return Lost(Garbage(), "in the middle of a stretch");
    }
    // Held at least until the frame is copied; by the sample, while half
    // the ring is left for the capture process to write ahead in.
    CV77RingLease* lease = CV77RingLease::Create(m_Mapping, m_Lease);
    if (!lease)
        return E_OUTOFMEMORY;
    *context = static_cast<IUnknown*>(lease);
    const CV77CaptureRing& ring = m_Mapping->Ring();
    *attach = ring.CountLeased() <= ring.Header().slotCount / 2;
    return S_OK;
}

HRESULT CV77LocalArchiveReceiver::ReadStretchFrame(const V77Stretch& stretch, size_t i, BYTE* data, LONG capacity,
                                                   StretchFrame* frame)
{
    if (!m_bCapture)
        return CV77StoreReceiver::ReadStretchFrame(stretch, i, data, capacity, frame);
    // The lease is held by the context the caller keeps across this call.
    frame->time = m_Lease.captureTime;
    frame->duration = m_Mapping->Ring().LeasedDuration(m_Lease);
    frame->key = (m_Lease.flags & kV77CaptureSyncPoint) != 0;
    frame->written = 0;
    if (capacity < 0 || m_Lease.length > static_cast<uint32_t>(capacity))
        return VFW_E_BUFFER_OVERFLOW;
    std::memcpy(data, m_Mapping->Ring().LeasedData(m_Lease), m_Lease.length);
    frame->written = static_cast<LONG>(m_Lease.length);
    return S_OK;
}
