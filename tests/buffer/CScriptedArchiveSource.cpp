#include "tests/buffer/CScriptedArchiveSource.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <objbase.h>
#include "framework/CAutoLock.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

namespace {

// {0C6F5E1B-2D44-4A8E-9C0B-7F1A3E5D2B90}
const CLSID CLSID_ScriptedArchiveSource = {0x0c6f5e1b, 0x2d44, 0x4a8e, {0x9c, 0x0b, 0x7f, 0x1a, 0x3e, 0x5d, 0x2b, 0x90}};

}  // namespace

// ---- pin ----

CScriptedArchiveOutput::CScriptedArchiveOutput(CScriptedArchiveSource* filter, CCritSec* lock, HRESULT* phr)
    : CBaseOutputPin(TEXT("Scripted archive output"), filter, lock, phr, L"ARC"), m_pSource(filter), m_hThread(nullptr)
{
}

CScriptedArchiveOutput::~CScriptedArchiveOutput() = default;

HRESULT CScriptedArchiveOutput::CheckMediaType(const CMediaType* mt)
{
    return *mt == m_pSource->MediaType() ? S_OK : S_FALSE;
}

HRESULT CScriptedArchiveOutput::GetMediaType(int position, CMediaType* mt)
{
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    *mt = m_pSource->MediaType();
    return S_OK;
}

HRESULT CScriptedArchiveOutput::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cBuffers = std::max(3L, request->cBuffers);
    wanted.cbBuffer = std::max(64L, request->cbBuffer);
    wanted.cbAlign = std::max(1L, request->cbAlign);
    wanted.cbPrefix = 0;
    ALLOCATOR_PROPERTIES actual = {};
    return allocator->SetProperties(&wanted, &actual);
}

HRESULT CScriptedArchiveOutput::Active()
{
    HRESULT hr = CBaseOutputPin::Active();
    if (FAILED(hr))
        return hr;
    m_pNotify = m_pSource->Notify();
    m_hThread = CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr);
    return m_hThread ? S_OK : E_FAIL;
}

HRESULT CScriptedArchiveOutput::Inactive()
{
    // Decommitting fails a GetDeliveryBuffer in progress; the buffer (stopped
    // first) fails WaitForRequest: either way the thread ends.
    HRESULT hr = CBaseOutputPin::Inactive();
    if (m_hThread) {
        WaitForSingleObject(m_hThread, INFINITE);
        CloseHandle(m_hThread);
        m_hThread = nullptr;
    }
    m_pNotify.Reset();
    return hr;
}

DWORD WINAPI CScriptedArchiveOutput::ThreadProc(LPVOID self)
{
    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    static_cast<CScriptedArchiveOutput*>(self)->Serve();
    if (SUCCEEDED(hr))
        CoUninitialize();
    return 0;
}

void CScriptedArchiveOutput::Serve()
{
    ComPtr<IV77DsBufferNotify> notify = m_pNotify;
    if (!notify)
        return;
    for (;;) {
        REFERENCE_TIME position = 0;
        DWORD type = 0;
        WORD flush = 0;
        HRESULT hr = notify->WaitForRequest(&position, &type, &flush);
        if (FAILED(hr))
            return;
        if (hr != S_OK)
            continue;
        if (flush) {
            ++m_pSource->flushes;
            DeliverBeginFlush();
            DeliverEndFlush();
        }
        const SyntheticRecording::Stretch stretch = m_pSource->Recording().ForRequest(position, type);
        m_pSource->Record({position, type, flush, stretch.first, stretch.count});
        LONG delivered = 0;
        hr = DeliverStretch(stretch, &delivered);
        notify->RequestDone(SUCCEEDED(hr) ? S_OK : hr, delivered, 0, stretch.next);
    }
}

HRESULT CScriptedArchiveOutput::DeliverStretch(const SyntheticRecording::Stretch& stretch, LONG* delivered)
{
    const SyntheticRecording& recording = m_pSource->Recording();
    for (int i = 0; i < stretch.count; ++i) {
        const int frame = stretch.first + i;
        ComPtr<IMediaSample> sample;
        HRESULT hr = GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
        if (FAILED(hr))
            return hr;
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        const LONG length = std::min(sample->GetSize(), 64L);
        std::memset(data, 0, static_cast<size_t>(length));
        std::memcpy(data, &frame, sizeof(frame));
        sample->SetActualDataLength(length);
        LONGLONG start = recording.TimeOf(frame);
        LONGLONG stop = start + recording.Duration();
        sample->SetMediaTime(&start, &stop);
        sample->SetTime(&start, &stop);  // archive samples carry their positions as times
        sample->SetSyncPoint(TRUE);
        hr = Deliver(sample.Get());
        if (FAILED(hr))
            return hr;
        ++*delivered;
        ++m_pSource->framesDelivered;
    }
    return S_OK;
}

// ---- filter ----

CScriptedArchiveSource::CScriptedArchiveSource(const SyntheticRecording& recording, const CMediaType& mt, HRESULT* phr)
    : CBaseFilter(TEXT("Scripted archive source"), nullptr, &m_FilterLock, CLSID_ScriptedArchiveSource),
      m_Recording(recording),
      m_MediaType(mt),
      m_pOutput(nullptr)
{
    m_pOutput = new (std::nothrow) CScriptedArchiveOutput(this, &m_FilterLock, phr);
    if (!m_pOutput && phr)
        *phr = E_OUTOFMEMORY;
}

CScriptedArchiveSource::~CScriptedArchiveSource()
{
    delete m_pOutput;
}

CScriptedArchiveSource* CScriptedArchiveSource::Create(const SyntheticRecording& recording, const CMediaType& mt)
{
    HRESULT hr = S_OK;
    auto* source = new (std::nothrow) CScriptedArchiveSource(recording, mt, &hr);
    if (!source)
        return nullptr;
    if (FAILED(hr)) {
        delete source;
        return nullptr;
    }
    source->AddRef();
    return source;
}

CBasePin* CScriptedArchiveSource::GetPin(int n)
{
    return n == 0 ? m_pOutput : nullptr;
}

void CScriptedArchiveSource::FindNotify()
{
    m_pNotify.Reset();
    IPin* peer = m_pOutput->GetConnected();
    PIN_INFO info = {};
    if (!peer || FAILED(peer->QueryPinInfo(&info)) || !info.pFilter)
        return;
    info.pFilter->QueryInterface(IID_IV77DsBufferNotify, reinterpret_cast<void**>(m_pNotify.GetAddressOf()));
    info.pFilter->Release();
}

STDMETHODIMP CScriptedArchiveSource::Pause()
{
    CAutoLock lock(&m_FilterLock);
    if (m_State == State_Stopped)
        FindNotify();
    return CBaseFilter::Pause();
}

STDMETHODIMP CScriptedArchiveSource::Stop()
{
    CAutoLock lock(&m_FilterLock);
    HRESULT hr = CBaseFilter::Stop();
    m_pNotify.Reset();
    return hr;
}

void CScriptedArchiveSource::Record(const FeederRequest& request)
{
    CAutoLock lock(&m_RecordLock);
    m_Requests.push_back(request);
}

std::vector<FeederRequest> CScriptedArchiveSource::Requests()
{
    CAutoLock lock(&m_RecordLock);
    return m_Requests;
}
