// A frame source connected to the DirectDraw renderer in Wine's real filter
// graph. The renderer comes from the module as the host creates it, or is
// built here with a forced subtype list (formats the display driver does not
// list, whose surfaces the tests read back instead of the screen).
#pragma once

#include <windows.h>
#include <strmif.h>
#include <vector>
#include <wrl/client.h>

#include "tests/display/CTestFrameSource.h"
#include "tests/display/TestPicture.h"
#include "tests/kit/TestGraph.h"
#include "v77/IV77DxRenderer.h"

class CV77DxRenderer;

class CDxRendererGraph {
public:
    CDxRendererGraph() = default;
    ~CDxRendererGraph();
    CDxRendererGraph(const CDxRendererGraph&) = delete;
    CDxRendererGraph& operator=(const CDxRendererGraph&) = delete;

    void Close();
    HRESULT CreateFromModule();
    HRESULT CreateWithSubtypes(const GUID* subtypes, int count);
    // Source of this type -> renderer, connected and told to run.
    HRESULT Start(const CMediaType& mt);
    bool WaitRunning(DWORD timeoutMs = 5000);
    HRESULT Push(const std::vector<BYTE>& bytes);

    IBaseFilter* Renderer() const { return m_pRenderer.Get(); }
    IV77DxRenderer* Dx() const { return m_pDx.Get(); }
    // The renderer made by CreateWithSubtypes, for calls the graph makes.
    CV77DxRenderer* Direct() const { return m_pDirect; }
    TestGraph& Graph() { return m_Graph; }
    // The picture the renderer holds: composed (true) or its last video surface.
    TestPicture Image(bool fromComposition, HRESULT* result = nullptr) const;
    // The raw DIB of the last video surface (header and bytes), empty on failure.
    std::vector<BYTE> RawVideo(BITMAPINFOHEADER* header) const;

private:
    TestGraph m_Graph;
    Microsoft::WRL::ComPtr<CTestFrameSource> m_pSource;
    Microsoft::WRL::ComPtr<IBaseFilter> m_pRenderer;
    Microsoft::WRL::ComPtr<IV77DxRenderer> m_pDx;
    CV77DxRenderer* m_pDirect = nullptr;
};
