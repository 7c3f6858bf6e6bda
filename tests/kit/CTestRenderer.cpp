#include "tests/kit/CTestRenderer.h"

#include <algorithm>
#include <new>
#include "framework/CAutoLock.h"
#include "tests/kit/CTestRendererInputPin.h"
#include "tests/kit/TestWait.h"
#include "v77/IV77SamplePool.h"

namespace {

// {5B1C33A1-7D3E-4F43-9A8B-6E1F2D9C0A11}
const CLSID CLSID_V77TestRenderer = {0x5b1c33a1, 0x7d3e, 0x4f43, {0x9a, 0x8b, 0x6e, 0x1f, 0x2d, 0x9c, 0x0a, 0x11}};

}  // namespace

CTestRenderer::CTestRenderer(const TestRendererConfig& config, HRESULT* phr)
    : CBaseRenderer(CLSID_V77TestRenderer, TEXT("Test renderer"), nullptr, phr), m_Config(config)
{
    if (m_Config.customAllocator)
        m_Config.customAllocator->AddRef();
}

CTestRenderer::~CTestRenderer()
{
    ClearSamples();
    if (m_Config.customAllocator)
        m_Config.customAllocator->Release();
}

CTestRenderer* CTestRenderer::Create(const TestRendererConfig& config)
{
    HRESULT hr = S_OK;
    auto* renderer = new (std::nothrow) CTestRenderer(config, &hr);
    if (!renderer)
        return nullptr;
    if (FAILED(hr)) {
        delete renderer;
        return nullptr;
    }
    renderer->AddRef();
    return renderer;
}

CBasePin* CTestRenderer::GetPin(int n)
{
    CAutoLock lock(&m_ObjectCreationLock);
    if (n != 0)
        return nullptr;
    if (!m_pInputPin) {
        HRESULT hr = S_OK;
        auto* pin = new (std::nothrow) CTestRendererInputPin(this, &hr);
        if (pin && FAILED(hr)) {
            delete pin;
            pin = nullptr;
        }
        m_pInputPin = pin;
    }
    return m_pInputPin;
}

CTestRendererInputPin* CTestRenderer::TestPin()
{
    return static_cast<CTestRendererInputPin*>(GetPin(0));
}

HRESULT CTestRenderer::CheckMediaType(const CMediaType* mt)
{
    if (m_Config.majorType == GUID_NULL || *mt->Type() == m_Config.majorType)
        return S_OK;
    return S_FALSE;
}

RenderedSample CTestRenderer::Describe(IMediaSample* sample)
{
    RenderedSample seen;
    seen.identity = sample;
    seen.timeValid = SUCCEEDED(sample->GetTime(&seen.start, &seen.stop));
    seen.mediaTimeValid = sample->GetMediaTime(&seen.mediaStart, &seen.mediaStop) == S_OK;
    seen.length = sample->GetActualDataLength();
    BYTE* data = nullptr;
    if (SUCCEEDED(sample->GetPointer(&data)) && data) {
        seen.data = data;
        LONG kept = std::min(seen.length, m_Config.bytesRecorded);
        seen.bytes.assign(data, data + std::max(0L, kept));
    }
    seen.syncPoint = sample->IsSyncPoint() == S_OK;
    seen.discontinuity = sample->IsDiscontinuity() == S_OK;
    seen.streamTimeValid = SUCCEEDED(StreamTime(seen.streamTime));
    IV77PoolItem* item = nullptr;
    if (SUCCEEDED(sample->QueryInterface(__uuidof(IV77PoolItem), reinterpret_cast<void**>(&item)))) {
        IV77SamplePool* pool = nullptr;
        if (item->GetPool(&pool) == S_OK && pool) {
            seen.pool = pool;
            pool->Release();
        }
        item->Release();
    }
    return seen;
}

HRESULT CTestRenderer::DoRenderSample(IMediaSample* sample)
{
    RenderedSample seen = Describe(sample);
    CAutoLock lock(&m_RecordLock);
    m_Samples.push_back(std::move(seen));
    if (m_Config.keepSamples) {
        sample->AddRef();
        m_Kept.push_back(sample);
    }
    return S_OK;
}

HRESULT CTestRenderer::ShouldDrawSampleNow(IMediaSample*, REFERENCE_TIME*, REFERENCE_TIME*)
{
    return m_Config.waitForSampleTime ? S_FALSE : S_OK;
}

HRESULT CTestRenderer::OnReceiveFirstSample(IMediaSample*)
{
    ++firstSamples;
    return S_OK;
}

HRESULT CTestRenderer::OnStartStreaming()
{
    ++startStreamings;
    return S_OK;
}

HRESULT CTestRenderer::OnStopStreaming()
{
    ++stopStreamings;
    return S_OK;
}

HRESULT CTestRenderer::EndOfStream()
{
    ++endOfStreams;
    return CBaseRenderer::EndOfStream();
}

std::vector<RenderedSample> CTestRenderer::Samples()
{
    CAutoLock lock(&m_RecordLock);
    return m_Samples;
}

bool CTestRenderer::LastSample(RenderedSample* sample)
{
    CAutoLock lock(&m_RecordLock);
    if (m_Samples.empty())
        return false;
    *sample = m_Samples.back();
    return true;
}

size_t CTestRenderer::SampleCount()
{
    CAutoLock lock(&m_RecordLock);
    return m_Samples.size();
}

void CTestRenderer::ClearSamples()
{
    std::vector<IMediaSample*> kept;
    {
        CAutoLock lock(&m_RecordLock);
        m_Samples.clear();
        kept.swap(m_Kept);
    }
    for (IMediaSample* sample : kept)
        sample->Release();
}

bool CTestRenderer::WaitForSamples(size_t count, DWORD timeoutMs)
{
    return WaitUntil([&] { return SampleCount() >= count; }, timeoutMs);
}

bool CTestRenderer::WaitForEndOfStream(DWORD timeoutMs)
{
    return WaitUntil([&] { return endOfStreams.load() > 0; }, timeoutMs);
}
