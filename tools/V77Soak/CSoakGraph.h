// One filter graph of the soak run: Wine's graph manager, the module's
// filters added and connected pin to pin, the objects the graph needs kept
// alive beside it, and state changes that count the events they bring.
#pragma once

#include <windows.h>
#include <control.h>
#include <strmif.h>
#include <functional>
#include <vector>
#include <wrl/client.h>

class CSoakGraph {
public:
    HRESULT Create();
    IGraphBuilder* Graph() const { return m_pGraph.Get(); }
    HRESULT Add(IUnknown* filter, LPCWSTR name);
    HRESULT Connect(IUnknown* upstream, int outIndex, IUnknown* downstream);
    // Objects (channels, receivers, decoders) that live as long as the graph.
    void Keep(IUnknown* object) { m_Kept.emplace_back(object); }

    HRESULT Run();
    HRESULT Stop();
    // Pumps the thread's window messages for ms (the GDI renderers draw on
    // the window's thread) and counts graph events: media-time reports and
    // aborts and failed stretches; returns the media-time reports seen.
    long PumpFor(DWORD ms);
    long Aborts() const { return m_cAborts; }
    // Playback ends (0x8005) reporting a failure, as an archive source and
    // its buffer raise them when a stretch cannot be read.
    long FailedStretches() const { return m_cFailedStretches; }
    void Release();
    // Graph managers created so far by the run (the soak's allowance for
    // what the platform's graph manager keeps per graph is counted on it).
    static long GraphsCreated();

private:
    Microsoft::WRL::ComPtr<IGraphBuilder> m_pGraph;
    Microsoft::WRL::ComPtr<IMediaControl> m_pControl;
    Microsoft::WRL::ComPtr<IMediaEventEx> m_pEvents;
    std::vector<Microsoft::WRL::ComPtr<IUnknown>> m_Kept;
    long m_cAborts = 0;
    long m_cFailedStretches = 0;
};
