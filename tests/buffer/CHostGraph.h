// A filter graph as the host holds it: created, filled, run and stopped
// through IMediaControl, and dropped (its last references released) without
// a Stop of its own, as a host tearing down a playing graph does.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <control.h>
#include <wrl/client.h>

class CHostGraph {
public:
    CHostGraph() = default;
    ~CHostGraph();
    CHostGraph(const CHostGraph&) = delete;
    CHostGraph& operator=(const CHostGraph&) = delete;

    HRESULT Create();
    HRESULT Add(IBaseFilter* filter, LPCWSTR name);
    // First output pin of upstream to first input pin of downstream, directly.
    HRESULT Connect(IBaseFilter* upstream, IBaseFilter* downstream);

    HRESULT Pause();
    HRESULT Run();
    HRESULT Stop();
    // IMediaControl::GetState with its time-out: S_OK once a transition is complete.
    HRESULT WaitForState(DWORD timeoutMs);
    bool Exists() const { return m_pGraph != nullptr; }

    // Releases every interface held, playing or not.
    void Drop();
    // Forgets the interfaces without releasing them (a call still hangs inside the graph).
    void Abandon();

private:
    Microsoft::WRL::ComPtr<IGraphBuilder> m_pGraph;
    Microsoft::WRL::ComPtr<IMediaControl> m_pControl;
};
