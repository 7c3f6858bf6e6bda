#include "framework/CTransInPlaceFilter.h"

#include <new>
#include <cstring>
#include <wrl/client.h>
#include "framework/CAutoLock.h"
#include "framework/CTransInPlaceInputPin.h"
#include "framework/CTransInPlaceOutputPin.h"

using Microsoft::WRL::ComPtr;

CTransInPlaceFilter::CTransInPlaceFilter(const TCHAR* name, LPUNKNOWN outer, REFCLSID clsid, HRESULT*,
                                         bool modifiesData)
    : CTransformFilter(name, outer, clsid), m_bModifiesData(modifiesData)
{
}

CBasePin* CTransInPlaceFilter::GetPin(int n)
{
    CAutoLock lock(&m_csFilter);
    if (!m_pInput) {
        HRESULT hr = S_OK;
        m_pInput = new (std::nothrow) CTransInPlaceInputPin(TEXT("TransInPlace input pin"), this, &hr, L"Input");
        if (!m_pInput)
            return nullptr;
        m_pOutput = new (std::nothrow) CTransInPlaceOutputPin(TEXT("TransInPlace output pin"), this, &hr, L"Output");
        if (!m_pOutput || FAILED(hr)) {
            delete m_pInput;
            delete m_pOutput;
            m_pInput = nullptr;
            m_pOutput = nullptr;
            return nullptr;
        }
    }
    if (n == 0)
        return m_pInput;
    if (n == 1)
        return m_pOutput;
    return nullptr;
}

CTransInPlaceInputPin* CTransInPlaceFilter::InputPin() const
{
    return static_cast<CTransInPlaceInputPin*>(m_pInput);
}

CTransInPlaceOutputPin* CTransInPlaceFilter::OutputPin() const
{
    return static_cast<CTransInPlaceOutputPin*>(m_pOutput);
}

BOOL CTransInPlaceFilter::TypesMatch()
{
    return InputPin()->CurrentMediaType() == OutputPin()->CurrentMediaType();
}

BOOL CTransInPlaceFilter::UsingDifferentAllocators() const
{
    return InputPin()->PeekAllocator() != OutputPin()->PeekAllocator();
}

HRESULT CTransInPlaceFilter::CompleteConnect(PIN_DIRECTION direction, IPin*)
{
    if (!m_pGraph)
        return VFW_E_NOT_IN_GRAPH;
    // Reconnecting the other side makes both use one type and renegotiates
    // the input allocator now that downstream can offer its own.
    if (direction == PINDIR_OUTPUT) {
        if (m_pInput->IsConnected())
            return ReconnectPin(m_pInput, &m_pOutput->CurrentMediaType());
        return S_OK;
    }
    if (m_pOutput->IsConnected() && m_pInput->CurrentMediaType() != m_pOutput->CurrentMediaType())
        return ReconnectPin(m_pOutput, &m_pInput->CurrentMediaType());
    return S_OK;
}

HRESULT CTransInPlaceFilter::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    ALLOCATOR_PROPERTIES wanted = {};
    if (m_pInput->IsConnected() && InputPin()->PeekAllocator()) {
        HRESULT hr = InputPin()->PeekAllocator()->GetProperties(&wanted);
        if (FAILED(hr))
            return hr;
    } else {
        // Revised when the input connects and we reconnect.
        wanted.cBuffers = 1;
        wanted.cbBuffer = 1;
    }
    request->cBuffers = wanted.cBuffers > 0 ? wanted.cBuffers : 1;
    request->cbBuffer = wanted.cbBuffer > 0 ? wanted.cbBuffer : 1;
    request->cbAlign = wanted.cbAlign > 0 ? wanted.cbAlign : 1;
    if (request->cbPrefix < 0)
        request->cbPrefix = 0;
    ALLOCATOR_PROPERTIES actual = {};
    HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr))
        return hr;
    if (actual.cBuffers < request->cBuffers || actual.cbBuffer < request->cbBuffer ||
        actual.cbAlign < request->cbAlign)
        return E_FAIL;
    return S_OK;
}

IMediaSample* CTransInPlaceFilter::Copy(IMediaSample* source)
{
    IMemAllocator* allocator = OutputPin()->PeekAllocator();
    if (!allocator)
        return nullptr;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    HRESULT hrTime = source->GetTime(&start, &stop);
    bool timeValid = SUCCEEDED(hrTime);
    ComPtr<IMediaSample> dest;
    // May block until downstream returns a buffer (or the allocator is decommitted).
    HRESULT hr = allocator->GetBuffer(&dest, timeValid ? &start : nullptr, timeValid ? &stop : nullptr,
                                      m_bSampleSkipped ? AM_GBF_PREVFRAMESKIPPED : 0);
    if (FAILED(hr))
        return nullptr;

    if (timeValid)
        dest->SetTime(&start, hrTime == S_OK ? &stop : nullptr);
    dest->SetSyncPoint(source->IsSyncPoint() == S_OK);
    dest->SetDiscontinuity(source->IsDiscontinuity() == S_OK || m_bSampleSkipped);
    dest->SetPreroll(source->IsPreroll() == S_OK);
    AM_MEDIA_TYPE* type = nullptr;
    if (source->GetMediaType(&type) == S_OK) {
        dest->SetMediaType(type);
        DeleteMediaType(type);
    }
    LONGLONG mediaStart = 0;
    LONGLONG mediaEnd = 0;
    if (source->GetMediaTime(&mediaStart, &mediaEnd) == S_OK)
        dest->SetMediaTime(&mediaStart, &mediaEnd);

    LONG length = source->GetActualDataLength();
    BYTE* from = nullptr;
    BYTE* to = nullptr;
    if (length < 0 || length > dest->GetSize() || FAILED(source->GetPointer(&from)) ||
        FAILED(dest->GetPointer(&to)) || FAILED(dest->SetActualDataLength(length)))
        return nullptr;
    if (length > 0)
        memcpy(to, from, static_cast<size_t>(length));
    m_bSampleSkipped = FALSE;
    return dest.Detach();
}

HRESULT CTransInPlaceFilter::Receive(IMediaSample* sample)
{
    if (m_pInput->SampleProps()->dwStreamId != AM_STREAM_MEDIA)
        return DeliverOtherStream(sample);

    const bool copy = UsingDifferentAllocators() != FALSE;
    IMediaSample* target = sample;
    if (copy) {
        target = Copy(sample);
        if (!target)
            return E_UNEXPECTED;
    }
    HRESULT hr = Transform(target);
    if (hr == S_OK) {
        hr = m_pOutput->Deliver(target);
    } else if (hr == S_FALSE) {
        // A skipped sample is not "stop sending" for upstream.
        m_bSampleSkipped = TRUE;
        if (!m_bQualityChanged) {
            NotifyEvent(EC_QUALITY_CHANGE, 0, 0);
            m_bQualityChanged = TRUE;
        }
        hr = S_OK;
    }
    if (copy)
        target->Release();
    return hr;
}
