#include "sources/CV77DsSourceOutput.h"

#include <algorithm>
#include <cstdlib>
#include <mmreg.h>
#include <uuids.h>
#include "companions/V77Media/V77Media.h"
#include "framework/CAutoLock.h"
#include "sources/CV77DsSourceFilter.h"
#include "v77/V77Guids.h"

CV77DsSourceOutput::CV77DsSourceOutput(const TCHAR* objectName, CV77DsSourceFilter* filter, HRESULT* phr,
                                       LPCWSTR pinName)
    : CBaseOutputPin(objectName, filter, filter->FilterLock(), phr, pinName), m_pSourceFilter(filter)
{
}

STDMETHODIMP CV77DsSourceOutput::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IV77ReceiverAuxiliary) {
        IV77LiveReceiver* receiver = m_pSourceFilter->Receiver();
        if (!receiver)
            return E_NOINTERFACE;
        *ppv = nullptr;
        return receiver->GetAuxiliaryInterface(ppv);
    }
    if (riid == IID_IAMPushSource || riid == IID_IAMLatency)
        return GetInterface(static_cast<IAMPushSource*>(this), ppv);
    return CBasePin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CV77DsSourceOutput::CheckMediaType(const CMediaType* mt)
{
    if (!mt)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    const CMediaType& own = m_pSourceFilter->MediaType();
    if (*mt->Type() != *own.Type() || *mt->Subtype() != *own.Subtype())
        return S_FALSE;
    if (*own.Type() != MEDIATYPE_Video)
        return *mt->FormatType() == FORMAT_WaveFormatEx ? S_OK : S_FALSE;
    const BITMAPINFOHEADER* theirs = GetBitmapInfoHeaderFromMediaType(*mt);
    const BITMAPINFOHEADER* ours = GetBitmapInfoHeaderFromMediaType(own);
    if (!theirs || !ours)
        return S_FALSE;
    // Either row order is the same picture.
    const bool same = theirs->biBitCount == ours->biBitCount && theirs->biCompression == ours->biCompression &&
                      theirs->biWidth == ours->biWidth && std::abs(theirs->biHeight) == std::abs(ours->biHeight);
    return same ? S_OK : S_FALSE;
}

HRESULT CV77DsSourceOutput::GetMediaType(int position, CMediaType* mt)
{
    if (!mt)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    if (position < 0)
        return E_INVALIDARG;
    if (position >= 1)
        return VFW_S_NO_MORE_ITEMS;
    *mt = m_pSourceFilter->MediaType();
    return S_OK;
}

LONG CV77DsSourceOutput::SampleSize() const
{
    const CMediaType& mt = m_pSourceFilter->MediaType();
    if (*mt.Type() == MEDIATYPE_Video)
        return static_cast<LONG>(GetBitmapSizeFromMediaType(mt));
    if (*mt.Type() == MEDIATYPE_Audio && mt.Format() && mt.FormatLength() >= sizeof(WAVEFORMATEX)) {
        const auto* wave = reinterpret_cast<const WAVEFORMATEX*>(mt.Format());
        const SOURCE_INFORMATION& info = m_pSourceFilter->SourceInformation();
        const DWORD perSecond = info.Parameter;
        if (wave->wFormatTag == WAVE_FORMAT_PCM)
            return static_cast<LONG>(wave->nBlockAlign * perSecond);
        // A non-PCM record always carries a non-zero width (see the filter's Open).
        return info.Width ? static_cast<LONG>(wave->nBlockAlign * perSecond / static_cast<DWORD>(info.Width)) : 0;
    }
    return 0;
}

HRESULT CV77DsSourceOutput::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    if (!allocator || !request)
        return E_POINTER;
    ALLOCATOR_PROPERTIES wanted;
    wanted.cBuffers = std::max(request->cBuffers, kMinimumCount);
    wanted.cbBuffer = std::max(SampleSize(), request->cbBuffer);
    wanted.cbAlign = request->cbAlign >= 1 ? request->cbAlign : 1;
    wanted.cbPrefix = request->cbPrefix >= 0 ? request->cbPrefix : 0;
    ALLOCATOR_PROPERTIES actual = {};
    return allocator->SetProperties(&wanted, &actual);
}

HRESULT CV77DsSourceOutput::DecideWithOwnAllocator(IMemInputPin* pin, IMemAllocator* own, IMemAllocator** allocator)
{
    if (!pin || !allocator)
        return E_POINTER;
    *allocator = nullptr;
    ALLOCATOR_PROPERTIES props = {};
    pin->GetAllocatorRequirements(&props);
    if (!m_pSourceFilter->UseOwnAllocator() && FAILED(pin->GetAllocator(allocator)))
        *allocator = nullptr;
    if (!*allocator) {
        if (!own)
            return E_OUTOFMEMORY;
        own->AddRef();
        *allocator = own;
    }
    HRESULT hr = DecideBufferSize(*allocator, &props);
    if (FAILED(hr))
        return hr;
    return pin->NotifyAllocator(*allocator, TRUE);
}

STDMETHODIMP CV77DsSourceOutput::GetLatency(REFERENCE_TIME*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CV77DsSourceOutput::GetPushSourceFlags(ULONG* flags)
{
    if (!flags)
        return E_POINTER;
    *flags = AM_PUSHSOURCECAPS_PRIVATE_CLOCK;
    return S_OK;
}

STDMETHODIMP CV77DsSourceOutput::SetPushSourceFlags(ULONG)
{
    return E_NOTIMPL;
}

STDMETHODIMP CV77DsSourceOutput::SetStreamOffset(REFERENCE_TIME)
{
    return E_NOTIMPL;
}

STDMETHODIMP CV77DsSourceOutput::GetStreamOffset(REFERENCE_TIME*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CV77DsSourceOutput::GetMaxStreamOffset(REFERENCE_TIME*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CV77DsSourceOutput::SetMaxStreamOffset(REFERENCE_TIME)
{
    return E_NOTIMPL;
}
