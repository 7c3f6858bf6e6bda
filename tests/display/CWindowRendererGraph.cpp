#include "tests/display/CWindowRendererGraph.h"

#include "tests/kit/ComAdopt.h"
#include "tests/kit/TestWait.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

CWindowRendererGraph::~CWindowRendererGraph()
{
    Close();
}

void CWindowRendererGraph::Close()
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

HRESULT CWindowRendererGraph::Create(HWND window)
{
    HRESULT hr = CoCreateInstance(CLSID_V77WindowsRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  reinterpret_cast<void**>(m_pRenderer.ReleaseAndGetAddressOf()));
    if (FAILED(hr) || FAILED(hr = m_pRenderer.As(&m_pDx)))
        return hr;
    return window ? m_pDx->SetWindow(window) : S_OK;
}

HRESULT CWindowRendererGraph::Start(const GUID& subtype, LONG width, LONG height, bool topDown)
{
    m_Subtype = subtype;
    m_bTopDown = topDown;
    HRESULT hr = m_Graph.Create();
    if (FAILED(hr))
        return hr;
    m_pSource = Adopt(CTestFrameSource::Create(MakeVideoType(subtype, width, height, topDown)));
    if (!m_pSource)
        return E_OUTOFMEMORY;
    if (m_pPool)
        m_pSource->Pin()->UsePool(m_pPool.Get());
    m_pSource->Pin()->SetBufferSize(m_BufferSize);
    return m_pSource->RunInto(m_Graph, m_pRenderer.Get(), L"Varnokel77 GDI renderer");
}

bool CWindowRendererGraph::WaitRunning(DWORD timeoutMs)
{
    return WaitUntil(
        [this] {
            OAFilterState state = State_Stopped;
            return m_Graph.GetState(50, &state) == S_OK && state == State_Running;
        },
        timeoutMs);
}

HRESULT CWindowRendererGraph::UsePool(DWORD itemBytes, DWORD count)
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

std::vector<BYTE> CWindowRendererGraph::Encode(const TestPicture& picture) const
{
    return EncodeFrame(picture, m_Subtype, m_bTopDown);
}

HRESULT CWindowRendererGraph::Push(const TestPicture& picture)
{
    return m_pSource->Pin()->Push(Encode(picture));
}

HRESULT CWindowRendererGraph::PushBytes(const std::vector<BYTE>& bytes, LONG length)
{
    return m_pSource->Pin()->Push(bytes, length);
}
