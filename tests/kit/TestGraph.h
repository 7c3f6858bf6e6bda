// Wine's (or Windows') real filter graph manager driven from a test: adds
// filters, connects pins, changes state with bounded waits and collects
// every graph event it sees.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <control.h>
#include <vector>
#include <wrl/client.h>

struct GraphEvent {
    long code;
    LONG_PTR param1;
    LONG_PTR param2;
};

class TestGraph {
public:
    TestGraph();
    ~TestGraph();
    TestGraph(const TestGraph&) = delete;
    TestGraph& operator=(const TestGraph&) = delete;

    // Creates the graph (CLSID_FilterGraph) and its control interfaces.
    HRESULT Create();
    // Drops every interface held (stopping the graph first).
    void Release();
    // Drops every interface held without a Stop, as a host letting go of a playing graph.
    void Drop();
    // Forgets the interfaces without releasing them (a call still hangs inside the graph).
    void Abandon();

    IGraphBuilder* Graph() const { return m_pGraph.Get(); }
    IMediaControl* Control() const { return m_pControl.Get(); }
    IMediaEventEx* Events() const { return m_pEvents.Get(); }
    IMediaSeeking* Seeking() const { return m_pSeeking.Get(); }

    HRESULT Add(IBaseFilter* filter, LPCWSTR name);

    static Microsoft::WRL::ComPtr<IPin> FindPin(IBaseFilter* filter, LPCWSTR name);
    static Microsoft::WRL::ComPtr<IPin> FindPin(IBaseFilter* filter, PIN_DIRECTION direction, int index = 0);

    // IGraphBuilder::ConnectDirect (IFilterGraph's, with an optional type) and Connect.
    HRESULT ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* mt = nullptr);
    HRESULT Connect(IPin* out, IPin* in);
    // First output of upstream to first input of downstream, directly.
    HRESULT ConnectFilters(IBaseFilter* upstream, IBaseFilter* downstream);

    HRESULT Run();
    HRESULT Pause();
    HRESULT Stop();
    // IMediaControl::GetState with its time-out.
    HRESULT GetState(DWORD timeoutMs, OAFilterState* state);
    // Changes state and waits up to timeoutMs for the transition: the final GetState result.
    HRESULT RunAndWait(DWORD timeoutMs = 5000);
    HRESULT PauseAndWait(DWORD timeoutMs = 5000);
    HRESULT StopAndWait(DWORD timeoutMs = 5000);

    // Reads events until one with this code arrives or timeoutMs passes.
    bool WaitForEvent(long code, DWORD timeoutMs, LONG_PTR* param1 = nullptr, LONG_PTR* param2 = nullptr);
    // Reads every event already queued.
    void DrainEvents();
    std::vector<GraphEvent> EventsSeen() const { return m_Seen; }
    int CountEvents(long code) const;

private:
    HRESULT Wait(HRESULT hrChange, DWORD timeoutMs);
    bool ReadEvent(DWORD timeoutMs, GraphEvent* event);

    Microsoft::WRL::ComPtr<IGraphBuilder> m_pGraph;
    Microsoft::WRL::ComPtr<IMediaControl> m_pControl;
    Microsoft::WRL::ComPtr<IMediaEventEx> m_pEvents;
    Microsoft::WRL::ComPtr<IMediaSeeking> m_pSeeking;
    std::vector<GraphEvent> m_Seen;
};
