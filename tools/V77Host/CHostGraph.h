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
    HRESULT ConnectPins(IPin* out, IPin* in);
    // The index-th pin of that direction, null when there is none.
    static Microsoft::WRL::ComPtr<IPin> Pin(IBaseFilter* filter, PIN_DIRECTION direction, int index = 0);
    IGraphBuilder* Builder() const { return m_pGraph.Get(); }
    HRESULT Run();
    HRESULT Pause();
    // Stops and waits for the graph to settle.
    HRESULT Stop();
    // Pumps the thread's messages and hands every graph event to handler for ms.
    void PumpFor(DWORD ms, const EventHandler& handler);
    // As PumpFor, calling tick between rounds (about every 20 ms); stops
    // early when tick returns false.
    void PumpWhile(DWORD ms, const EventHandler& handler, const std::function<bool()>& tick);

private:
    void DispatchEvents(const EventHandler& handler);

    Microsoft::WRL::ComPtr<IGraphBuilder> m_pGraph;
    Microsoft::WRL::ComPtr<IMediaControl> m_pControl;
    Microsoft::WRL::ComPtr<IMediaEventEx> m_pEvents;
};
