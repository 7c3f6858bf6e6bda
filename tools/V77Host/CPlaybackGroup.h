// Archive playback in several synchronised views: the tools' shared
// playback group (per view a store source -> buffer filter with the
// time-shift queue, the first view's buffer the master of the others) with
// the host's frame counter -> GDI renderer in its own window per view. Seek,
// rate and step go through the master so every view shows the same recorded
// instant.
#pragma once

#include <memory>
#include <string>
#include <vector>
#include <wrl/client.h>
#include "tools/V77Host/CHostFrameTap.h"
#include "tools/V77Host/CHostGraph.h"
#include "tools/V77Host/CHostProgress.h"
#include "tools/V77Host/CHostVideoWindow.h"
#include "tools/common/CV77PlaybackGroup.h"
#include "v77/IV77DxRenderer.h"

class CPlaybackGroup {
public:
    static REFERENCE_TIME StoreStart(const std::wstring& store) { return CV77PlaybackGroup::StoreStart(store); }

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
    const SOURCE_INFORMATION& Info() const { return m_Group.Info(); }
    // The first view's frames and skips, and the frames its queue holds.
    HostFigures Figures() const;

private:
    struct View {
        Microsoft::WRL::ComPtr<IBaseFilter> renderer;
        Microsoft::WRL::ComPtr<IV77DxRenderer> display;
        Microsoft::WRL::ComPtr<CHostFrameTap> tap;
        std::unique_ptr<CHostVideoWindow> window;
    };

    HRESULT Check(const char* what, HRESULT hr);
    HRESULT CreateView(View& view);
    HRESULT ShowView(View& view, size_t index);

    CHostGraph m_Graph;
    CV77PlaybackGroup m_Group;
    std::vector<View> m_Views;
    const char* m_pStep = "";
};
