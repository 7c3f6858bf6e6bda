#include "tests/image_renderer/CTestImageSink.h"

STDMETHODIMP CTestImageSink::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown)
        *ppv = static_cast<IV77ImageSink*>(this);
    else if (riid == IID_IV77RequestCompletion && m_bCompletions)
        *ppv = static_cast<IV77RequestCompletion*>(this);
    if (!*ppv)
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP CTestImageSink::Deliver(IMediaSample* sample)
{
    SinkRecord record = {};
    record.sample = sample;
    IV77PoolItem* item = nullptr;
    if (SUCCEEDED(sample->QueryInterface(IID_IV77PoolItem, reinterpret_cast<void**>(&item)))) {
        if (item->GetPool(&record.pool) == S_OK && record.pool)
            record.pool->Release();
        item->Release();
    }
    if (FAILED(sample->GetMediaTime(&record.mediaStart, &record.mediaStop)))
        record.mediaStart = record.mediaStop = -1;
    record.length = sample->GetActualDataLength();
    BYTE* data = nullptr;
    if (SUCCEEDED(sample->GetPointer(&data)) && data && record.length > 0)
        record.firstByte = data[0];
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Records.push_back(record);
    return S_OK;
}

STDMETHODIMP CTestImageSink::RequestDone(HRESULT result, LONG frameCount, DWORD reserved, REFERENCE_TIME next)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Completions.push_back({result, frameCount, reserved, next});
    return S_OK;
}

std::vector<SinkRecord> CTestImageSink::Records()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_Records;
}

std::vector<CompletionRecord> CTestImageSink::Completions()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_Completions;
}

size_t CTestImageSink::Count()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_Records.size();
}
