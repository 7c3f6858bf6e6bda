#include "tools/V77Soak/CSoakGraph.h"

#include <algorithm>
#include <evcode.h>
#include <uuids.h>

#include "tools/common/V77GraphPins.h"
#include "v77/V77Events.h"

using Microsoft::WRL::ComPtr;

namespace {

ComPtr<IBaseFilter> AsFilter(IUnknown* unknown)
{
    ComPtr<IBaseFilter> filter;
    if (unknown)
        unknown->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf()));
    return filter;
}

// The soak drives its graphs from one thread.
long g_cGraphsCreated = 0;

}  // namespace

long CSoakGraph::GraphsCreated()
{
    return g_cGraphsCreated;
}

HRESULT CSoakGraph::Create()
{
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                  reinterpret_cast<void**>(m_pGraph.ReleaseAndGetAddressOf()));
    g_cGraphsCreated += SUCCEEDED(hr) ? 1 : 0;
    if (SUCCEEDED(hr))
        hr = m_pGraph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(m_pControl.GetAddressOf()));
    if (SUCCEEDED(hr))
        hr = m_pGraph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(m_pEvents.GetAddressOf()));
    return hr;
}

HRESULT CSoakGraph::Add(IUnknown* filter, LPCWSTR name)
{
    ComPtr<IBaseFilter> f = AsFilter(filter);
    return f ? m_pGraph->AddFilter(f.Get(), name) : E_NOINTERFACE;
}

HRESULT CSoakGraph::Connect(IUnknown* upstream, int outIndex, IUnknown* downstream)
{
    return V77ConnectFilters(m_pGraph.Get(), AsFilter(upstream).Get(), outIndex, AsFilter(downstream).Get());
}

HRESULT CSoakGraph::Run()
{
    return m_pControl ? m_pControl->Run() : E_UNEXPECTED;
}

HRESULT CSoakGraph::Stop()
{
    if (!m_pControl)
        return E_UNEXPECTED;
    const HRESULT hr = m_pControl->Stop();
    OAFilterState state;
    m_pControl->GetState(2000, &state);
    return hr;
}

long CSoakGraph::PumpFor(DWORD ms)
{
    long reports = 0;
    const ULONGLONG end = GetTickCount64() + ms;
    for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(end - now, 10)),
                                  QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        long code = 0;
        LONG_PTR p1 = 0, p2 = 0;
        while (m_pEvents && m_pEvents->GetEvent(&code, &p1, &p2, 0) == S_OK) {
            reports += code == EC_V77_MEDIA_TIME ? 1 : 0;
            m_cAborts += code == EC_ERRORABORT ? 1 : 0;
            m_cFailedStretches += code == EC_V77_SEGMENT_END && FAILED(static_cast<HRESULT>(p1)) ? 1 : 0;
            m_pEvents->FreeEventParams(code, p1, p2);
        }
    }
    return reports;
}

void CSoakGraph::Release()
{
    if (m_pControl)
        Stop();
    m_pEvents.Reset();
    m_pControl.Reset();
    m_pGraph.Reset();
    m_Kept.clear();
}
