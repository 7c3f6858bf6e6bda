// The AVI file renderer (created through the module) fed by the kit's push
// source in Wine's filter graph, and what AVIFile reads back from a file.
#pragma once

#include <windows.h>
#include <string>
#include <vector>
#include <vfw.h>
#include <wrl/client.h>

#include "framework/CMediaType.h"
#include "tests/kit/CTestPushSource.h"
#include "tests/kit/TestGraph.h"
#include "v77/IV77Sinks.h"

// Compressed DX50 video of width x height (negative: as given) whose header is bih when set.
CMediaType MakeDx50Type(LONG width, LONG height, REFERENCE_TIME frameTime, LONG sampleSize = 4096,
                        const std::vector<BYTE>& header = {});

// A file of the suite's data folder (V77_AVI_DATA), as a Windows path.
std::wstring DataPath(const wchar_t* name);

struct AviFrame {
    std::vector<BYTE> bytes;
    bool key = false;
};

struct AviContents {
    HRESULT hr = E_FAIL;          // of opening the file and its video stream
    AVISTREAMINFOW info = {};
    std::vector<BYTE> format;     // the stream format as stored
    std::vector<AviFrame> frames;
};

// Everything AVIFile reads from the video stream of path.
AviContents ReadAvi(const std::wstring& path);

class AviGraph {
public:
    AviGraph();
    ~AviGraph();

    IV77DsAviFileRenderer* Renderer() const { return m_pControl.Get(); }
    IBaseFilter* Filter() const { return m_pFilter.Get(); }
    TestGraph& Graph() { return m_Graph; }

    // Adds the source and the renderer and connects them (bufferSize: the source's samples).
    HRESULT Connect(const CMediaType& mt, LONG bufferSize = 0);
    HRESULT Run() { return m_Graph.Run(); }
    // One frame, a key frame or not; the upstream result of its delivery.
    HRESULT Push(const std::vector<BYTE>& bytes, bool key);
    HRESULT EndOfStream() { return m_pSource->Pin()->DeliverEndOfStream(); }

private:
    TestGraph m_Graph;
    Microsoft::WRL::ComPtr<IBaseFilter> m_pFilter;
    Microsoft::WRL::ComPtr<IV77DsAviFileRenderer> m_pControl;
    Microsoft::WRL::ComPtr<CTestPushSource> m_pSource;
};
