// An overlay renderer (created through the module, as the host creates it)
// fed by a source pin that answers IV77ReceiverAuxiliary, in Wine's real
// filter graph. Samples are pushed on the test's thread.
#pragma once

#include <windows.h>
#include <string>
#include <vector>
#include <wrl/client.h>

#include "framework/CBaseFilter.h"
#include "tests/kit/TestGraph.h"
#include "tests/overlay/COverlaySourcePin.h"
#include "v77/IV77Sinks.h"

class COverlaySource : public CBaseFilter {
public:
    // AddRef'd; null on failure.
    static COverlaySource* Create(const CMediaType& mt, IV77ReceiverAuxiliary* auxiliary);
    ~COverlaySource() override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? m_pPin : nullptr; }
    IBaseFilter* Filter() { return static_cast<IBaseFilter*>(this); }
    COverlaySourcePin* Pin() const { return m_pPin; }

private:
    COverlaySource(const CMediaType& mt, IV77ReceiverAuxiliary* auxiliary, HRESULT* phr);

    CCritSec m_Lock;
    COverlaySourcePin* m_pPin;
};

// Media types of the two overlay formats ("SEN2" carries the canvas size).
CMediaType MakeSensorType();
CMediaType MakePolygonType(LONG width, LONG height);

class COverlayGraph {
public:
    COverlayGraph() = default;
    ~COverlayGraph();
    COverlayGraph(const COverlayGraph&) = delete;
    COverlayGraph& operator=(const COverlayGraph&) = delete;

    static HRESULT CreateRenderer(Microsoft::WRL::ComPtr<IBaseFilter>* filter);

    // Source (with an auxiliary object handing out xml, or failing with
    // configResult; none when withAuxiliary is false) -> renderer. Returns the
    // connection's result; on success the graph is told to run.
    HRESULT Start(const CMediaType& mt, const std::wstring& xml, HRESULT configResult = S_OK,
                  bool withAuxiliary = true);
    HRESULT Push(const std::vector<BYTE>& bytes, LONG length = -1);
    // End of stream, then waits for EC_COMPLETE.
    bool Complete(DWORD timeoutMs = 5000);

    IV77DsOverlayRenderer* Overlay() const { return m_pOverlay.Get(); }
    IBaseFilter* Renderer() const { return m_pRenderer.Get(); }
    CTestReceiverAuxiliary* Auxiliary() const { return m_pAuxiliary; }
    TestGraph& Graph() { return m_Graph; }

private:
    TestGraph m_Graph;
    CTestReceiverAuxiliary* m_pAuxiliary = nullptr;  // one reference
    Microsoft::WRL::ComPtr<COverlaySource> m_pSource;
    Microsoft::WRL::ComPtr<IBaseFilter> m_pRenderer;
    Microsoft::WRL::ComPtr<IV77DsOverlayRenderer> m_pOverlay;
};
