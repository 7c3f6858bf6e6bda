#include "companions/components/local/CV77LocalReceiver.h"
#include "companions/components/common/V77ComponentCreation.h"

#include <vfwmsgs.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "companions/components/local/CV77RingLease.h"
#include "v77/IV77SamplePool.h"

namespace {

constexpr DWORD kPollMs = 100;
constexpr DWORD kAttachPollMs = 50;

}  // namespace

CUnknown* CV77LocalReceiver::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    return CreateUnaggregated(outer, phr, [&] { return new (std::nothrow) CV77LocalReceiver(phr); });
}

CV77LocalReceiver::CV77LocalReceiver(HRESULT* phr)
    : CV77LiveReceiver(TEXT("V77 local receiver"), "V77LocalReceiver", phr),
      m_hStop(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    if (!m_hStop && phr)
        *phr = E_OUTOFMEMORY;
}

CV77LocalReceiver::~CV77LocalReceiver()
{
    CloseStream();
    if (m_hStop)
        CloseHandle(m_hStop);
}

HRESULT CV77LocalReceiver::OpenStream(BSTR source1, BSTR, SOURCE_INFORMATION* info, CMediaType* mt)
{
    const std::wstring name = source1 ? std::wstring(source1, SysStringLen(source1)) : std::wstring();
    if (!CV77CaptureRingMapping::IsValidName(name))
        return E_INVALIDARG;
    ResetEvent(m_hStop);
    HRESULT hr = E_FAIL;
    // The capture process may be starting: give it a moment to publish its ring.
    const DWORD start = GetTickCount();
    for (;;) {
        hr = CV77CaptureRingMapping::Open(name, &m_Mapping);
        if (SUCCEEDED(hr) || GetTickCount() - start >= kAttachWaitMs)
            break;
        Sleep(kAttachPollMs);
    }
    if (FAILED(hr)) {
        Log("capture ring '%ls' not found (0x%08lx): is the capture process running?\n", name.c_str(),
            static_cast<unsigned long>(hr));
        return hr;
    }
    V77CaptureRingHeader& header = m_Mapping->Ring().Header();
    header.consumerPid.store(GetCurrentProcessId());
    const V77CaptureFormat& format = header.format;
    if (format.width == 0 || format.height == 0 || format.width > 16384 || format.height > 16384 ||
        format.frameTime <= 0)
        return HRESULT_FROM_WIN32(ERROR_BAD_FORMAT);
    info->AvgTimePerFrame = format.frameTime;
    info->Width = static_cast<LONG>(format.width);
    info->Height = static_cast<LONG>(format.height);
    info->Compression = format.compression;
    info->BitCount = static_cast<WORD>(format.bitCount);
    m_tFrame = format.frameTime;
    m_bWatching = false;
    m_bProducerGone = false;
    m_bHaveSequence = false;
    return MakeMediaType(*info, nullptr, 0, mt);
}

void CV77LocalReceiver::CloseStream()
{
    if (m_hProducer) {
        CloseHandle(m_hProducer);
        m_hProducer = nullptr;
    }
    // Leases still riding on samples keep the ring mapped until they come back.
    m_Mapping.reset();
}

void CV77LocalReceiver::WatchProducer()
{
    const V77CaptureRingHeader& header = m_Mapping->Ring().Header();
    const uint32_t epoch = header.epoch.load();
    const DWORD pid = header.producerPid.load();
    if (m_bWatching && epoch == m_uEpoch && pid == m_dwProducerPid)
        return;
    m_bWatching = true;
    m_uEpoch = epoch;
    m_dwProducerPid = pid;
    m_bHaveSequence = false;
    if (m_hProducer)
        CloseHandle(m_hProducer);
    m_hProducer = pid ? OpenProcess(SYNCHRONIZE, FALSE, pid) : nullptr;
    if (!m_hProducer || WaitForSingleObject(m_hProducer, 0) != WAIT_TIMEOUT) {
        ProducerGone("no capture process fills the ring");
        return;
    }
    Log("capture process %lu fills the ring (epoch %u)\n", static_cast<unsigned long>(pid), epoch);
    m_bProducerGone = false;
    m_dwLastFrameTick = GetTickCount();
}

void CV77LocalReceiver::ProducerGone(const char* why)
{
    if (m_hProducer) {
        CloseHandle(m_hProducer);
        m_hProducer = nullptr;
    }
    if (m_bProducerGone)
        return;
    m_bProducerGone = true;
    StreamEnded(why);
}

void CV77LocalReceiver::SkipPublished()
{
    CV77CaptureRing& ring = m_Mapping->Ring();
    V77CaptureLease lease;
    bool returned = false;
    while (ring.TakeOldest(GetCurrentProcessId(), &lease))
        returned |= ring.Return(lease);
    if (returned)
        SetEvent(m_Mapping->ReturnedEvent());
    m_bHaveSequence = false;
}

void CV77LocalReceiver::DeliverLeased(const V77CaptureLease& lease)
{
    CV77RingLease* context = CV77RingLease::Create(m_Mapping, lease);
    if (!context)
        return;
    V77FrameProperties properties;
    properties.start = lease.captureTime;
    properties.stop = lease.captureTime + m_tFrame;
    properties.syncPoint = (lease.flags & kV77CaptureSyncPoint) != 0;
    properties.discontinuity = (lease.flags & kV77CaptureDiscontinuity) != 0 ||
                               !m_bHaveSequence || lease.sequence != m_uNextSequence;
    m_bHaveSequence = true;
    m_uNextSequence = lease.sequence + 1;
    m_dwLastFrameTick = GetTickCount();
    StreamStarted();
    IMediaSample* sample = nullptr;
    if (AcquireSample(context, &sample) == S_OK) {
        const LONG written = Fill(sample, *context);
        if (written >= 0)
            HandOver(sample, written, properties);
        else
            sample->Release();
    }
    // The sample holds the lease now, or nobody does and the slot is back.
    context->Release();
}

LONG CV77LocalReceiver::Fill(IMediaSample* sample, const CV77RingLease& context)
{
    const V77CaptureLease& lease = context.Lease();
    // Downstream gets read-only samples: the slot's memory is never written through them.
    BYTE* data = const_cast<BYTE*>(m_Mapping->Ring().LeasedData(lease));
    // The frame stays in its ring slot: the sample carries that memory while
    // the lease riding on it keeps the producer out of the slot.
    if (context.IsHeldElsewhere()) {
        IV77PoolItem* item = nullptr;
        if (SUCCEEDED(sample->QueryInterface(IID_IV77PoolItem, reinterpret_cast<void**>(&item)))) {
            const HRESULT lent = item->Lend(data, lease.length);
            item->Release();
            if (SUCCEEDED(lent))
                return static_cast<LONG>(lease.length);
        }
    }
    // A sample of another allocator: the lease ends with this call, so copy.
    BYTE* target = nullptr;
    if (FAILED(sample->GetPointer(&target)) || !target || sample->GetSize() < static_cast<LONG>(lease.length)) {
        Log("frame of %lu bytes does not fit a %ld-byte sample; dropped\n", static_cast<unsigned long>(lease.length),
            static_cast<long>(sample->GetSize()));
        return -1;
    }
    std::memcpy(target, data, lease.length);
    return static_cast<LONG>(lease.length);
}

void CV77LocalReceiver::Stream()
{
    bool streaming = false;
    while (!StopRequested()) {
        if (!WaitForStreaming(200)) {
            streaming = false;
            continue;
        }
        WatchProducer();
        if (!streaming) {
            streaming = true;
            SkipPublished();
        }
        HANDLE waits[3] = {m_hStop, m_Mapping->FrameEvent(), m_hProducer};
        const DWORD count = m_hProducer ? 3 : 2;
        const DWORD woke = WaitForMultipleObjects(count, waits, FALSE, kPollMs);
        if (woke == WAIT_OBJECT_0)
            continue;
        if (woke == WAIT_OBJECT_0 + 2) {
            char why[96];
            snprintf(why, sizeof why, "capture process %lu ended", static_cast<unsigned long>(m_dwProducerPid));
            ProducerGone(why);
            continue;
        }
        V77CaptureLease lease;
        while (IsStreaming() && !StopRequested() && !m_bProducerGone &&
               m_Mapping->Ring().TakeOldest(GetCurrentProcessId(), &lease))
            DeliverLeased(lease);
        if (!m_bProducerGone && IsFlowing() && GetTickCount() - m_dwLastFrameTick > kSilenceMs)
            StreamEnded("the capture process sends no frames");
    }
}
