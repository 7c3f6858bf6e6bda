// A filter graph of the host: Wine's (or Windows') filter graph manager,
// filters added and connected pin to pin, run while the host thread pumps
// window messages and reads graph events.
#pragma once

#include <windows.h>
#include <control.h>
#include <strmif.h>
#include <functional>
#include <wrl/client.h>

class CHostGraph {
public:
    using EventHandler = std::function<void(long code, LONG_PTR param1, LONG_PTR param2)>;

    HRESULT Create();
    HRESULT Add(IBaseFilter* filter, LPCWSTR name);
    // The first output pin of upstream to the first input pin of downstream.
    HRESULT Connect(IBaseFilter* upstream, IBaseFilter* downstream);
    HRESULT Run();
    // Stops and waits for the graph to settle.
    HRESULT Stop();
    // Pumps the thread's messages and hands every graph event to handler for ms.
    void PumpFor(DWORD ms, const EventHandler& handler);

private:
    static Microsoft::WRL::ComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION direction);
    void DispatchEvents(const EventHandler& handler);

    Microsoft::WRL::ComPtr<IGraphBuilder> m_pGraph;
    Microsoft::WRL::ComPtr<IMediaControl> m_pControl;
    Microsoft::WRL::ComPtr<IMediaEventEx> m_pEvents;
};
