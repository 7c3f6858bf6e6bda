#include "tests/display/CTestFrameSource.h"

#include <new>

namespace {

// {5C1F2A3B-7D4E-4B61-9A0C-3E7F11D2A845}
const CLSID kTestFrameSourceClsid = {0x5c1f2a3b, 0x7d4e, 0x4b61, {0x9a, 0x0c, 0x3e, 0x7f, 0x11, 0xd2, 0xa8, 0x45}};

}  // namespace

CTestFrameSource* CTestFrameSource::Create(const CMediaType& mt)
{
    HRESULT hr = S_OK;
    auto* source = new (std::nothrow) CTestFrameSource(mt, &hr);
    if (!source)
        return nullptr;
    source->NonDelegatingAddRef();
    if (FAILED(hr)) {
        source->NonDelegatingRelease();
        return nullptr;
    }
    return source;
}

CTestFrameSource::CTestFrameSource(const CMediaType& mt, HRESULT* phr)
    : CBaseFilter(TEXT("Test frame source"), nullptr, &m_Lock, kTestFrameSourceClsid, phr),
      m_pPin(new (std::nothrow) CTestFramePin(this, &m_Lock, phr, mt))
{
    if (!m_pPin && phr)
        *phr = E_OUTOFMEMORY;
}

CTestFrameSource::~CTestFrameSource()
{
    delete m_pPin;
}

HRESULT CTestFrameSource::RunInto(TestGraph& graph, IBaseFilter* renderer, LPCWSTR rendererName)
{
    HRESULT hr = S_OK;
    if (FAILED(hr = graph.Add(Filter(), L"frames")) || FAILED(hr = graph.Add(renderer, rendererName)) ||
        FAILED(hr = graph.ConnectFilters(Filter(), renderer)))
        return hr;
    hr = graph.Run();
    return SUCCEEDED(hr) ? S_OK : hr;
}
