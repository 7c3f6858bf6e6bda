#include "tests/kit/TestGraph.h"

#include <cwchar>
#include <uuids.h>
#include <evcode.h>

using Microsoft::WRL::ComPtr;

TestGraph::TestGraph() = default;

TestGraph::~TestGraph()
{
    Release();
}

HRESULT TestGraph::Create()
{
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                  reinterpret_cast<void**>(m_pGraph.ReleaseAndGetAddressOf()));
    if (FAILED(hr))
        return hr;
    hr = m_pGraph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(m_pControl.ReleaseAndGetAddressOf()));
    if (SUCCEEDED(hr))
        hr = m_pGraph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(m_pEvents.ReleaseAndGetAddressOf()));
    if (SUCCEEDED(hr))
        hr = m_pGraph->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(m_pSeeking.ReleaseAndGetAddressOf()));
    return hr;
}

void TestGraph::Release()
{
    if (m_pControl)
        m_pControl->Stop();
    Drop();
}

void TestGraph::Drop()
{
    m_pSeeking.Reset();
    m_pEvents.Reset();
    m_pControl.Reset();
    m_pGraph.Reset();
}

void TestGraph::Abandon()
{
    m_pSeeking.Detach();
    m_pEvents.Detach();
    m_pControl.Detach();
    m_pGraph.Detach();
}

HRESULT TestGraph::Add(IBaseFilter* filter, LPCWSTR name)
{
    return m_pGraph->AddFilter(filter, name);
}

ComPtr<IPin> TestGraph::FindPin(IBaseFilter* filter, LPCWSTR name)
{
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(&pins)))
        return nullptr;
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        PIN_INFO info = {};
        if (SUCCEEDED(pin->QueryPinInfo(&info))) {
            if (info.pFilter)
                info.pFilter->Release();
            if (wcscmp(info.achName, name) == 0)
                return pin;
        }
    }
    return nullptr;
}

ComPtr<IPin> TestGraph::FindPin(IBaseFilter* filter, PIN_DIRECTION direction, int index)
{
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(&pins)))
        return nullptr;
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        PIN_DIRECTION found;
        if (SUCCEEDED(pin->QueryDirection(&found)) && found == direction && index-- == 0)
            return pin;
    }
    return nullptr;
}

HRESULT TestGraph::ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* mt)
{
    if (!out || !in)
        return E_POINTER;
    return m_pGraph->ConnectDirect(out, in, mt);
}

HRESULT TestGraph::Connect(IPin* out, IPin* in)
{
    if (!out || !in)
        return E_POINTER;
    return m_pGraph->Connect(out, in);
}

HRESULT TestGraph::ConnectFilters(IBaseFilter* upstream, IBaseFilter* downstream)
{
    ComPtr<IPin> out = FindPin(upstream, PINDIR_OUTPUT);
    ComPtr<IPin> in = FindPin(downstream, PINDIR_INPUT);
    return ConnectDirect(out.Get(), in.Get());
}

HRESULT TestGraph::Run()
{
    return m_pControl->Run();
}

HRESULT TestGraph::Pause()
{
    return m_pControl->Pause();
}

HRESULT TestGraph::Stop()
{
    return m_pControl->Stop();
}

HRESULT TestGraph::GetState(DWORD timeoutMs, OAFilterState* state)
{
    return m_pControl->GetState(static_cast<LONG>(timeoutMs), state);
}

HRESULT TestGraph::Wait(HRESULT hrChange, DWORD timeoutMs)
{
    if (FAILED(hrChange))
        return hrChange;
    OAFilterState state;
    return GetState(timeoutMs, &state);
}

HRESULT TestGraph::RunAndWait(DWORD timeoutMs)
{
    return Wait(Run(), timeoutMs);
}

HRESULT TestGraph::PauseAndWait(DWORD timeoutMs)
{
    return Wait(Pause(), timeoutMs);
}

HRESULT TestGraph::StopAndWait(DWORD timeoutMs)
{
    return Wait(Stop(), timeoutMs);
}

bool TestGraph::ReadEvent(DWORD timeoutMs, GraphEvent* event)
{
    long code = 0;
    LONG_PTR param1 = 0;
    LONG_PTR param2 = 0;
    if (m_pEvents->GetEvent(&code, &param1, &param2, static_cast<long>(timeoutMs)) != S_OK)
        return false;
    *event = GraphEvent{code, param1, param2};
    m_Seen.push_back(*event);
    m_pEvents->FreeEventParams(code, param1, param2);
    return true;
}

bool TestGraph::WaitForEvent(long code, DWORD timeoutMs, LONG_PTR* param1, LONG_PTR* param2)
{
    ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        ULONGLONG now = GetTickCount64();
        DWORD left = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        GraphEvent event;
        if (!ReadEvent(left, &event)) {
            // Wine's GetEvent may give up at once just after an event was
            // read: only the deadline ends the wait.
            if (left == 0)
                return false;
            Sleep(5);
            continue;
        }
        if (event.code == code) {
            // Only the values: the parameters were freed with the event.
            if (param1)
                *param1 = event.param1;
            if (param2)
                *param2 = event.param2;
            return true;
        }
    }
}

void TestGraph::DrainEvents()
{
    GraphEvent event;
    while (ReadEvent(0, &event)) {
    }
}

int TestGraph::CountEvents(long code) const
{
    int count = 0;
    for (const GraphEvent& event : m_Seen)
        count += event.code == code ? 1 : 0;
    return count;
}
