// A frame source connected to the JPEG renderer (created through the module,
// as the host creates it) in Wine's real filter graph. The renderer's 0x8007
// events are read with their samples, and samples still queued are released
// when the graph goes.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include "tests/display/CRendererGraph.h"
#include "v77/IV77DxRenderer.h"

class CJpegRendererGraph : public CRendererGraph {
public:
    CJpegRendererGraph() = default;
    ~CJpegRendererGraph();

    // The JPEG renderer, then source of this format -> renderer, connected and told to run.
    HRESULT Start(const GUID& subtype, LONG width, LONG height, bool topDown = false);

    // Waits for the next 0x8007 event: true when one came; *sample takes the
    // event's reference (null when the event carried none).
    bool NextJpegEvent(DWORD timeoutMs, Microsoft::WRL::ComPtr<IMediaSample>* sample);
    // Releases the samples of every queued event; the number of 0x8007 events.
    int DrainEvents();

    IV77JpegRenderer* Jpeg() const { return m_pJpeg.Get(); }

private:
    bool ReadEvent(DWORD timeoutMs, long* code, LONG_PTR* param1);

    Microsoft::WRL::ComPtr<IV77JpegRenderer> m_pJpeg;
};
