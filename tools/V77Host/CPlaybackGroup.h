// Archive playback in several synchronised views: per view a store source
// (the store receiver reading a recording store) -> buffer filter with the
// time-shift queue -> frame counter -> GDI renderer in its own window. The
// first view's buffer is the master of the others; seek, rate and step go
// through its group methods so every view shows the same recorded instant.
#pragma once

#include <memory>
#include <string>
#include <vector>
#include <wrl/client.h>
#include "tools/V77Host/CHostFrameTap.h"
#include "tools/V77Host/CHostGraph.h"
#include "tools/V77Host/CHostProgress.h"
#include "tools/V77Host/CHostVideoWindow.h"
#include "v77/IV77DsBuffer.h"
#include "v77/IV77DsSource.h"
#include "v77/IV77DxRenderer.h"

class CPlaybackGroup {
public:
    // The time of the store's first segment (from its name), 0 when the
    // folder holds none.
    static REFERENCE_TIME StoreStart(const std::wstring& store);

    HRESULT Build(const std::wstring& store, int views);
    // Runs the graph, starts every source at position (file time) and plays
    // the group at rate.
    HRESULT Start(REFERENCE_TIME position, double rate);
    HRESULT Seek(REFERENCE_TIME position);
    HRESULT SetRate(double rate);
    HRESULT Step(long frames);
    HRESULT Stop() { return m_Graph.Stop(); }

    const char* FailedStep() const { return m_pStep; }
    CHostGraph& Graph() { return m_Graph; }
    size_t Views() const { return m_Views.size(); }
    HWND Window(size_t view) const { return m_Views[view].window->Handle(); }
    long Frames(size_t view) const { return m_Views[view].tap->Frames(); }
    // Media time of the frame view last showed.
    REFERENCE_TIME LastTime(size_t view) const { return m_Views[view].tap->LastMediaTime(); }
    const SOURCE_INFORMATION& Info() const { return m_Info; }
    // The first view's frames and skips, and the frames its queue holds.
    HostFigures Figures() const;

private:
    struct View {
        Microsoft::WRL::ComPtr<IBaseFilter> source, buffer, renderer;
        Microsoft::WRL::ComPtr<IV77DsARCSource> archive;
        Microsoft::WRL::ComPtr<IV77DsBuffer> control;
        Microsoft::WRL::ComPtr<IV77DxRenderer> display;
        Microsoft::WRL::ComPtr<CHostFrameTap> tap;
        std::unique_ptr<CHostVideoWindow> window;
    };

    HRESULT Check(const char* what, HRESULT hr);
    HRESULT AddView(const std::wstring& store, size_t index);
    HRESULT ConnectView(View& view, size_t index);

    CHostGraph m_Graph;
    std::vector<View> m_Views;
    SOURCE_INFORMATION m_Info = {};
    const char* m_pStep = "";
};
