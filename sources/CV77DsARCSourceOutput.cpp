#include "sources/CV77DsARCSourceOutput.h"

#include <control.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "companions/V77Global/V77ErrorBoundary.h"
#include "companions/V77Media/V77Media.h"
#include "framework/CAutoLock.h"
#include "sources/CV77DsARCSourceFilterBase.h"
#include "v77/V77Events.h"
#include "v77/V77Guids.h"

namespace {

// Subtypes whose decoders need an end of stream to give up their last frames.
bool NeedsEndOfStream(const GUID& subtype)
{
    for (const char* name : {"H264", "DIVX", "divx", "AVC1"}) {
        if (std::memcmp(&subtype.Data1, name, 4) == 0)
            return true;
    }
    return false;
}

bool ValidCurrentBits(DWORD flags)
{
    const DWORD bits = flags & AM_SEEKING_PositioningBitsMask;
    return bits == AM_SEEKING_AbsolutePositioning || bits == AM_SEEKING_RelativePositioning;
}

bool ValidStopBits(DWORD flags)
{
    const DWORD bits = flags & AM_SEEKING_PositioningBitsMask;
    return bits == AM_SEEKING_AbsolutePositioning || bits == AM_SEEKING_RelativePositioning ||
           bits == AM_SEEKING_IncrementalPositioning;
}

REFERENCE_TIME SystemTimeNow()
{
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    return static_cast<REFERENCE_TIME>((static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

}  // namespace

CV77DsARCSourceOutput::CV77DsARCSourceOutput(const TCHAR* objectName, CV77DsARCSourceFilterBase* filter, HRESULT* phr,
                                             LPCWSTR pinName)
    : CBaseOutputPin(objectName, filter, filter->FilterLock(), phr, pinName),
      CSourceSeeking(objectName, static_cast<IPin*>(this), phr, filter->FilterLock()),
      CV77DsARCReceiverEvents(objectName, static_cast<IPin*>(this)),
      m_pFilter(filter),
      m_hStopped(CreateEventW(nullptr, TRUE, TRUE, nullptr))
{
    // Archive positions are absolute times: start at "now" until the host seeks.
    m_rtStart = SystemTimeNow();
    if (!m_hStopped && phr && SUCCEEDED(*phr))
        *phr = E_OUTOFMEMORY;
}

CV77DsARCSourceOutput::~CV77DsARCSourceOutput()
{
    if (m_hStopped)
        CloseHandle(m_hStopped);
}

STDMETHODIMP CV77DsARCSourceOutput::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IMediaSeeking || riid == IID_IMediaPosition)
        return CSourceSeeking::NonDelegatingQueryInterface(riid, ppv);
    if (riid == IID_IV77ARCReceiverEvents)
        return CV77DsARCReceiverEvents::NonDelegatingQueryInterface(riid, ppv);
    return CBasePin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CV77DsARCSourceOutput::Active()
{
    const HRESULT hr = CBaseOutputPin::Active();
    if (FAILED(hr))
        return hr;
    m_bActive = true;
    m_bEndOfStreamCodec = NeedsEndOfStream(*m_pFilter->MediaType().Subtype());
    return hr;
}

HRESULT CV77DsARCSourceOutput::Inactive()
{
    m_bActive = false;
    StopStreaming();
    return CBaseOutputPin::Inactive();
}

void CV77DsARCSourceOutput::StopStreaming()
{
    m_bStreaming = false;
    WaitForSingleObject(m_hStopped, INFINITE);
}

HRESULT CV77DsARCSourceOutput::CheckMediaType(const CMediaType* mt)
{
    if (!mt)
        return E_POINTER;
    CAutoLock lock(CBasePin::m_pLock);
    const CMediaType& own = m_pFilter->MediaType();
    if (*mt->FormatType() == FORMAT_WaveFormatEx) {
        if (*own.FormatType() != FORMAT_WaveFormatEx || !mt->Format() || !own.Format() ||
            mt->FormatLength() < sizeof(WAVEFORMATEX) || own.FormatLength() < sizeof(WAVEFORMATEX))
            return S_FALSE;
        const auto* theirs = reinterpret_cast<const WAVEFORMATEX*>(mt->Format());
        const auto* ours = reinterpret_cast<const WAVEFORMATEX*>(own.Format());
        return theirs->nChannels == ours->nChannels && theirs->nBlockAlign == ours->nBlockAlign &&
                       theirs->wBitsPerSample == ours->wBitsPerSample
                   ? S_OK
                   : S_FALSE;
    }
    if (*mt->Type() != *own.Type() || *mt->Subtype() != *own.Subtype() || *own.Type() != MEDIATYPE_Video)
        return S_FALSE;
    const BITMAPINFOHEADER* theirs = GetBitmapInfoHeaderFromMediaType(*mt);
    const BITMAPINFOHEADER* ours = GetBitmapInfoHeaderFromMediaType(own);
    if (!theirs || !ours)
        return S_FALSE;
    // Either row order is the same picture.
    const bool same = theirs->biBitCount == ours->biBitCount && theirs->biCompression == ours->biCompression &&
                      theirs->biWidth == ours->biWidth && std::abs(theirs->biHeight) == std::abs(ours->biHeight);
    return same ? S_OK : S_FALSE;
}

HRESULT CV77DsARCSourceOutput::GetMediaType(int position, CMediaType* mt)
{
    if (!mt)
        return E_POINTER;
    CAutoLock lock(CBasePin::m_pLock);
    if (position < 0)
        return E_INVALIDARG;
    if (position >= 1 || m_pFilter->MediaType().majortype == GUID_NULL)
        return VFW_S_NO_MORE_ITEMS;
    *mt = m_pFilter->MediaType();
    return S_OK;
}

HRESULT CV77DsARCSourceOutput::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    if (!allocator || !request)
        return E_POINTER;
    const CMediaType& mt = m_pFilter->MediaType();
    LONG sampleSize = 0;
    if (mt.majortype == MEDIATYPE_Video)
        sampleSize = static_cast<LONG>(GetBitmapSizeFromMediaType(mt));
    else if (*mt.FormatType() == FORMAT_WaveFormatEx)
        sampleSize = static_cast<LONG>(m_pFilter->SourceInformation().Parameter);
    ALLOCATOR_PROPERTIES wanted = {};
    wanted.cBuffers = std::max(request->cBuffers, 3L);
    wanted.cbBuffer = std::max(sampleSize, request->cbBuffer);
    wanted.cbAlign = request->cbAlign >= 1 ? request->cbAlign : 1;
    wanted.cbPrefix = request->cbPrefix >= 0 ? request->cbPrefix : 0;
    ALLOCATOR_PROPERTIES actual = {};
    return allocator->SetProperties(&wanted, &actual);
}

STDMETHODIMP CV77DsARCSourceOutput::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags)
{
    if (stopFlags) {
        if (!stop)
            return E_POINTER;
        if (!ValidStopBits(stopFlags))
            return E_INVALIDARG;
    }
    if (currentFlags) {
        if (!current)
            return E_POINTER;
        if (!ValidCurrentBits(currentFlags))
            return E_INVALIDARG;
    }
    {
        CAutoLock lock(CSourceSeeking::m_pLock);
        const DWORD currentBits = currentFlags & AM_SEEKING_PositioningBitsMask;
        if (currentBits == AM_SEEKING_AbsolutePositioning)
            m_rtStart = *current;
        else if (currentBits == AM_SEEKING_RelativePositioning)
            m_rtStart += *current;
        const DWORD stopBits = stopFlags & AM_SEEKING_PositioningBitsMask;
        if (stopBits == AM_SEEKING_AbsolutePositioning)
            m_rtStop = *stop;
        else if (stopBits == AM_SEEKING_RelativePositioning)
            m_rtStop += *stop;
        else if (stopBits == AM_SEEKING_IncrementalPositioning)
            m_rtStop = *stop + m_rtStart;
    }
    // The high word of the flags is the receiver's play mode, not a DirectShow flag.
    m_dwPlayMode = currentFlags >> 16;
    if (m_bActive) {
        const bool wasStreaming = m_bStreaming;
        if (wasStreaming && (m_bAutoRestart || (currentFlags & 0x200))) {
            DeliverBeginFlush();
            StopStreaming();
            DeliverEndFlush();
        }
        Play(wasStreaming);
    }
    return S_OK;
}

void CV77DsARCSourceOutput::Play(bool wasStreaming)
{
    REFERENCE_TIME start = 0;
    {
        CAutoLock lock(CSourceSeeking::m_pLock);
        start = m_rtStart;
    }
    m_llSegmentMarker = wasStreaming ? -1 : 0;
    m_bStreaming = true;
    ResetEvent(m_hStopped);
    IV77ArchiveReceiver* receiver = m_pFilter->Receiver();
    const HRESULT hr = receiver ? receiver->Play(start, m_dwPlayMode, m_wPlayOption) : E_UNEXPECTED;
    if (FAILED(hr))
        OnPlaybackEnd(hr, 0, 0, 0);
}

HRESULT CV77DsARCSourceOutput::ChangeRate()
{
    // The next sample carries the new rate in a new segment; the receiver
    // reads at the buffer's pace and never sees the rate.
    if (m_bStreaming)
        m_llSegmentMarker = -1;
    return S_OK;
}

STDMETHODIMP CV77DsARCSourceOutput::GetBuffer(IUnknown*, IMediaSample** ppSample)
{
    if (!ppSample)
        return E_POINTER;
    *ppSample = nullptr;
    if (!m_bStreaming)
        return E_FAIL;
    return GetDeliveryBuffer(ppSample, nullptr, nullptr, 0);
}

STDMETHODIMP CV77DsARCSourceOutput::OnSample(IMediaSample* pSample)
{
    if (!pSample)
        return E_POINTER;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    pSample->GetMediaTime(&start, &stop);
    if (m_llSegmentMarker < 0) {
        REFERENCE_TIME segmentStart = 0;
        REFERENCE_TIME segmentStop = 0;
        double rate = 1.0;
        {
            CAutoLock lock(CSourceSeeking::m_pLock);
            segmentStart = m_rtStart;
            segmentStop = m_rtStop;
            rate = m_dRateSeeking;
        }
        DeliverNewSegment(segmentStart, segmentStop, rate);
    }
    if (m_llSegmentMarker <= 0)
        m_llSegmentMarker = start;
    pSample->SetTime(&start, &stop);
    if (pSample->IsSyncPoint() == S_OK)
        m_tLastSyncPoint = start;
    if (!m_bStreaming)
        return E_FAIL;
    return Deliver(pSample);
}

STDMETHODIMP CV77DsARCSourceOutput::OnPlaybackEnd(HRESULT status, LONG frameCount, DWORD reserved, REFERENCE_TIME next)
{
    if (m_bEndOfStreamCodec) {
        try {
            DeliverEndOfStream();
        } catch (...) {
            V77HandleException("V77DsARCSource", __LINE__);
        }
    }
    if (IV77DsBufferNotify* notify = m_pFilter->BufferNotify())
        notify->RequestDone(status, frameCount, reserved, next);
    if (status == S_OK) {
        if (m_bAutoRestart && m_bStreaming) {
            ResetEvent(m_hStopped);
            IV77ArchiveReceiver* receiver = m_pFilter->Receiver();
            const HRESULT hr = receiver ? receiver->Play(m_tLastSyncPoint, 2, m_wPlayOption) : E_UNEXPECTED;
            if (FAILED(hr))
                OnPlaybackEnd(hr, 0, 0, 0);
            return S_OK;
        }
        SetEvent(m_hStopped);
        return S_OK;
    }
    if (FAILED(status) && m_bAutoRestart) {
        m_pFilter->RaiseEvent(EC_V77_SEGMENT_END, static_cast<LONG_PTR>(status), 0);
        DeliverEndOfStream();
    }
    SetEvent(m_hStopped);
    return S_OK;
}

STDMETHODIMP CV77DsARCSourceOutput::OnRequest(REFERENCE_TIME* position, DWORD* type, WORD* playOption)
{
    if (!position || !type || !playOption)
        return E_POINTER;
    IV77DsBufferNotify* notify = m_pFilter->BufferNotify();
    if (!notify)
        return E_NOTIMPL;
    WORD flush = 0;
    const HRESULT hr = notify->WaitForRequest(position, type, &flush);
    if (FAILED(hr))
        return hr;
    if (flush) {
        DeliverBeginFlush();
        m_bStreaming = false;
        DeliverEndFlush();
    }
    *playOption = m_wPlayOption;
    m_bStreaming = true;
    return hr;
}
