// A live view: live source -> [platform decoder for a compressed camera] ->
// buffer filter (live queue) -> frame counter -> video renderer, the
// renderer drawing into a host window (GDI or DirectDraw) or encoding JPEG
// snapshots; with record, the secondary output -> AVI file renderer. The
// chain itself is the tools' shared live + record graph; this adds the
// host's renderer choice, window, decoder search and frame counter.
#pragma once

#include <memory>
#include <string>
#include <wrl/client.h>
#include "tools/V77Host/CHostFrameTap.h"
#include "tools/V77Host/CHostGraph.h"
#include "tools/V77Host/CHostLiveSource.h"
#include "tools/V77Host/CHostProgress.h"
#include "tools/V77Host/CHostVideoWindow.h"
#include "tools/common/CV77LiveRecordGraph.h"
#include "v77/IV77DsBuffer.h"
#include "v77/IV77DxRenderer.h"

enum class HostRenderer { Gdi, DirectDraw, Jpeg };

struct LiveViewConfig {
    HostRenderer renderer = HostRenderer::Gdi;
    long bufferCount = 0;        // 0: the queue's own size
    bool picture = false;        // apply brightness and contrast
    double brightness = 0;       // -128 .. 128
    double contrast = 0;         // -1 .. 127 (0 keeps the picture)
    long deinterlace = -1;       // -1: leave; 0 off, 1 blend, 2 line doubling
    // A compressed stream the platform cannot decode goes to Wine's null
    // renderer (no window) instead of failing the build.
    bool undecodedToNull = false;
    // The secondary output to an AVI file renderer (segments: Chain()).
    bool record = false;
};

class CLiveViewGraph {
public:
    // Opens source and builds the graph (stopped). On failure FailedStep()
    // names the step that failed.
    HRESULT Build(CHostLiveSource& source, const LiveViewConfig& config);
    HRESULT Run() { return Step("Run", m_Graph.Run()); }
    HRESULT Stop() { return m_Graph.Stop(); }

    const char* FailedStep() const { return m_pStep; }
    CHostGraph& Graph() { return m_Graph; }
    CHostLiveSource& Source() { return *m_pSource; }
    // Null when the stream could not be decoded (null renderer).
    IV77DxRenderer* Renderer() const { return m_pDisplay.Get(); }
    IBaseFilter* RendererFilter() const { return m_pRenderer.Get(); }
    // Null for the JPEG and the null renderer.
    HWND Window() const { return m_pWindow ? m_pWindow->Handle() : nullptr; }
    const CHostVideoWindow* VideoWindow() const { return m_pWindow.get(); }
    // The decoder's name, empty when none was needed.
    const std::string& Decoder() const { return m_Decoder; }
    HostFigures Figures() const;
    CV77LiveRecordGraph& Chain() { return m_Chain; }

protected:
    HRESULT Step(const char* what, HRESULT hr);

private:
    HRESULT CreateFilters(const LiveViewConfig& config);
    HRESULT ConfigureRenderer(const LiveViewConfig& config);
    HRESULT UseNullRenderer();
    HRESULT Connect(const LiveViewConfig& config);

    CHostGraph m_Graph;
    CHostLiveSource* m_pSource = nullptr;
    const char* m_pStep = "";
    CV77LiveRecordGraph m_Chain;
    Microsoft::WRL::ComPtr<CHostFrameTap> m_pTap;
    Microsoft::WRL::ComPtr<IBaseFilter> m_pRenderer;
    Microsoft::WRL::ComPtr<IV77DxRenderer> m_pDisplay;
    std::unique_ptr<CHostVideoWindow> m_pWindow;
    std::string m_Decoder;
};
