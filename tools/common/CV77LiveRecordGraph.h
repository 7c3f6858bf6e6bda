// A camera viewed and recorded in one graph: the live source's primary
// output through a buffer filter (live queue) into the host's view
// renderer, its secondary output into the AVI file renderer that writes the
// recording store's segments. The buffer takes only uncompressed video, so a
// compressed camera is viewed through a decoder the host supplies (between
// source and buffer); the recording keeps the compressed frames. The host
// names each segment by the time of its first frame; a new file starts at
// the next key frame, so the frames between a segment change and that key
// frame are not recorded.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <string>
#include <wrl/client.h>

#include "v77/IV77DsBuffer.h"
#include "v77/IV77DsSource.h"
#include "v77/IV77Sinks.h"

// How the primary output reaches the view.
struct V77LiveChain {
    IPin* from = nullptr;             // null: the source's primary output (else a decoder's output)
    IBaseFilter* decoder = nullptr;   // null, or a filter from the source's type to one the buffer takes
    bool queue = true;                // false: straight to the view (a renderer that takes the raw stream)
    bool record = true;               // false leaves the secondary output unconnected
    LONG bufferCount = 0;             // 0: the queue's own size
};

class CV77LiveRecordGraph {
public:
    // Open, then Connect with the buffer (graph stopped).
    HRESULT Build(IGraphBuilder* graph, const std::wstring& sdp, IBaseFilter* view, IBaseFilter* decoder,
                  bool record = true);
    // Creates the network source and opens the camera (an SDP file, as the sender wrote it).
    HRESULT Open(const std::wstring& sdp);
    // A live source of any kind the host created and opened itself.
    HRESULT Attach(IBaseFilter* source, const SOURCE_INFORMATION& info);
    // Adds what is not yet in graph and connects: source [-> decoder] ->
    // [buffer ->] view, and the secondary output -> AVI file renderer. The
    // secondary output shares the primary's allocator, so it connects last.
    HRESULT Connect(IGraphBuilder* graph, IBaseFilter* view, const V77LiveChain& chain);
    // Closes the current segment and opens store\<first frame time>.avi
    // (its path in *path when given).
    HRESULT StartSegment(const std::wstring& store, REFERENCE_TIME firstFrameTime, std::wstring* path = nullptr);
    HRESULT CloseSegment();

    const SOURCE_INFORMATION& Info() const { return m_Info; }
    IBaseFilter* Source() const { return m_pSource.Get(); }
    IV77DsNetworkSource* Live() const { return m_pLive.Get(); }
    // Null when the chain has no queue.
    IV77DsBuffer* Buffer() const { return m_pBufferControl.Get(); }
    // Null when the chain does not record.
    IV77DsAviFileRenderer* Recorder() const { return m_pFile.Get(); }
    // What Build or Connect was doing when it failed ("" after success).
    const char* Step() const { return m_pStep; }

private:
    HRESULT Fail(const char* step, HRESULT hr);

    Microsoft::WRL::ComPtr<IBaseFilter> m_pSource;
    Microsoft::WRL::ComPtr<IBaseFilter> m_pBuffer;
    Microsoft::WRL::ComPtr<IBaseFilter> m_pRecorder;
    Microsoft::WRL::ComPtr<IV77DsNetworkSource> m_pLive;
    Microsoft::WRL::ComPtr<IV77DsBuffer> m_pBufferControl;
    Microsoft::WRL::ComPtr<IV77DsAviFileRenderer> m_pFile;
    SOURCE_INFORMATION m_Info = {};
    const char* m_pStep = "";
};
