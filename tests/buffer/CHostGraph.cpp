#include "tests/buffer/CHostGraph.h"

#include <uuids.h>
#include "tests/kit/TestGraph.h"

CHostGraph::~CHostGraph()
{
    Drop();
}

HRESULT CHostGraph::Create()
{
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                  reinterpret_cast<void**>(m_pGraph.ReleaseAndGetAddressOf()));
    if (FAILED(hr))
        return hr;
    return m_pGraph.As(&m_pControl);
}

HRESULT CHostGraph::Add(IBaseFilter* filter, LPCWSTR name)
{
    return m_pGraph ? m_pGraph->AddFilter(filter, name) : E_UNEXPECTED;
}

HRESULT CHostGraph::Connect(IBaseFilter* upstream, IBaseFilter* downstream)
{
    if (!m_pGraph)
        return E_UNEXPECTED;
    Microsoft::WRL::ComPtr<IPin> out = TestGraph::FindPin(upstream, PINDIR_OUTPUT);
    Microsoft::WRL::ComPtr<IPin> in = TestGraph::FindPin(downstream, PINDIR_INPUT);
    if (!out || !in)
        return E_POINTER;
    return m_pGraph->ConnectDirect(out.Get(), in.Get(), nullptr);
}

HRESULT CHostGraph::Pause()
{
    return m_pControl ? m_pControl->Pause() : E_UNEXPECTED;
}

HRESULT CHostGraph::Run()
{
    return m_pControl ? m_pControl->Run() : E_UNEXPECTED;
}

HRESULT CHostGraph::Stop()
{
    return m_pControl ? m_pControl->Stop() : E_UNEXPECTED;
}

HRESULT CHostGraph::WaitForState(DWORD timeoutMs)
{
    if (!m_pControl)
        return E_UNEXPECTED;
    OAFilterState state;
    return m_pControl->GetState(static_cast<LONG>(timeoutMs), &state);
}

void CHostGraph::Drop()
{
    m_pControl.Reset();
    m_pGraph.Reset();
}

void CHostGraph::Abandon()
{
    m_pControl.Detach();
    m_pGraph.Detach();
}
