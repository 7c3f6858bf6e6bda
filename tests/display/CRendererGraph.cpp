#include "tests/display/CRendererGraph.h"

#include "tests/kit/ComAdopt.h"
#include "tests/kit/TestWait.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

CRendererGraph::~CRendererGraph()
{
    Close();
}

void CRendererGraph::Close()
{
    if (m_Graph.Control())
        m_Graph.StopAndWait();
    m_Graph.Release();
    m_pDx.Reset();
    m_pRenderer.Reset();
    m_pSource.Reset();
    // Wakes nothing in these tests; closes the pool before its last reference goes.
    if (m_pPool)
        m_pPool->Shutdown(1000);
    m_pPool.Reset();
}

HRESULT CRendererGraph::Create(const CLSID& clsid, HWND window)
{
    ComPtr<IBaseFilter> renderer;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  reinterpret_cast<void**>(renderer.GetAddressOf()));
    if (FAILED(hr) || FAILED(hr = Use(renderer)))
        return hr;
    return window ? m_pDx->SetWindow(window) : S_OK;
}

HRESULT CRendererGraph::Use(const ComPtr<IBaseFilter>& renderer)
{
    m_pRenderer = renderer;
    m_pDx.Reset();
    return renderer ? renderer.As(&m_pDx) : E_POINTER;
}

HRESULT CRendererGraph::Start(const GUID& subtype, LONG width, LONG height, bool topDown)
{
    m_Subtype = subtype;
    m_bTopDown = topDown;
    return Start(MakeVideoType(subtype, width, height, topDown));
}

HRESULT CRendererGraph::Start(const CMediaType& mt)
{
    if (!m_pRenderer)
        return E_POINTER;
    HRESULT hr = m_Graph.Create();
    if (FAILED(hr))
        return hr;
    m_pSource = Adopt(CTestFrameSource::Create(mt));
    if (!m_pSource)
        return E_OUTOFMEMORY;
    if (m_pPool)
        m_pSource->Pin()->UsePool(m_pPool.Get());
    m_pSource->Pin()->SetBufferSize(m_BufferSize);
    return m_pSource->RunInto(m_Graph, m_pRenderer.Get(), L"renderer");
}

bool CRendererGraph::WaitRunning(DWORD timeoutMs)
{
    return WaitUntil(
        [this] {
            OAFilterState state = State_Stopped;
            return m_Graph.GetState(50, &state) == S_OK && state == State_Running;
        },
        timeoutMs);
}

HRESULT CRendererGraph::UsePool(DWORD itemBytes, DWORD count)
{
    ComPtr<IV77SamplePool> pool;
    HRESULT hr = CoCreateInstance(CLSID_V77SamplePool, nullptr, CLSCTX_INPROC_SERVER, IID_IV77SamplePool,
                                  reinterpret_cast<void**>(pool.GetAddressOf()));
    if (FAILED(hr) || FAILED(hr = pool->InitializePool(itemBytes, count)))
        return hr;
    if (m_pPool)
        m_pPool->Shutdown(1000);
    m_pPool = pool;
    if (m_pSource)
        m_pSource->Pin()->UsePool(m_pPool.Get());
    return S_OK;
}

std::vector<BYTE> CRendererGraph::Encode(const TestPicture& picture) const
{
    return EncodeFrame(picture, m_Subtype, m_bTopDown);
}

HRESULT CRendererGraph::Push(const TestPicture& picture)
{
    return PushBytes(Encode(picture));
}

HRESULT CRendererGraph::PushBytes(const std::vector<BYTE>& bytes, LONG length)
{
    // Not started (or its start failed): nothing to push into.
    return m_pSource ? m_pSource->Pin()->Push(bytes, length) : E_UNEXPECTED;
}
