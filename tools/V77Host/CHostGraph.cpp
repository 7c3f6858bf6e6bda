#include "tools/V77Host/CHostGraph.h"

#include <algorithm>
#include <uuids.h>
#include <vfwmsgs.h>
#include "tools/common/V77GraphPins.h"

using Microsoft::WRL::ComPtr;

HRESULT CHostGraph::Create()
{
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                  reinterpret_cast<void**>(m_pGraph.GetAddressOf()));
    if (SUCCEEDED(hr))
        hr = m_pGraph.As(&m_pControl);
    if (SUCCEEDED(hr))  // mingw declares no __uuidof for IMediaEventEx
        hr = m_pGraph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(m_pEvents.GetAddressOf()));
    return hr;
}

HRESULT CHostGraph::Add(IBaseFilter* filter, LPCWSTR name)
{
    return m_pGraph->AddFilter(filter, name);
}

ComPtr<IPin> CHostGraph::Pin(IBaseFilter* filter, PIN_DIRECTION direction, int index)
{
    return V77FindPin(filter, direction, index);
}

HRESULT CHostGraph::Connect(IBaseFilter* upstream, IBaseFilter* downstream)
{
    return V77ConnectFilters(m_pGraph.Get(), upstream, 0, downstream);
}

HRESULT CHostGraph::ConnectPins(IPin* out, IPin* in)
{
    return V77ConnectPins(m_pGraph.Get(), out, in);
}

HRESULT CHostGraph::Run()
{
    return m_pControl->Run();
}

HRESULT CHostGraph::Pause()
{
    return m_pControl->Pause();
}

HRESULT CHostGraph::Stop()
{
    HRESULT hr = m_pControl->Stop();
    OAFilterState state = State_Running;
    m_pControl->GetState(5000, &state);
    return hr;
}

void CHostGraph::DispatchEvents(const EventHandler& handler)
{
    long code = 0;
    LONG_PTR param1 = 0;
    LONG_PTR param2 = 0;
    while (m_pEvents->GetEvent(&code, &param1, &param2, 0) == S_OK) {
        if (handler)
            handler(code, param1, param2);
        m_pEvents->FreeEventParams(code, param1, param2);
    }
}

void CHostGraph::PumpFor(DWORD ms, const EventHandler& handler)
{
    PumpWhile(ms, handler, nullptr);
}

void CHostGraph::PumpWhile(DWORD ms, const EventHandler& handler, const std::function<bool()>& tick)
{
    const ULONGLONG end = GetTickCount64() + ms;
    for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(end - now, 20)),
                                  QS_ALLINPUT);
        MSG msg;
        while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
        DispatchEvents(handler);
        if (tick && !tick())
            return;
    }
}
