// A camera viewed and recorded in one graph: the network (RTP) source's
// primary output through a buffer filter (live queue) into the host's view
// renderer, its secondary output into the AVI file renderer that writes the
// recording store's segments. The buffer takes only uncompressed video, so a
// compressed camera is viewed through a decoder the host supplies (between
// source and buffer); the recording keeps the compressed frames. The host names each segment by the time of
// its first frame; a new file starts at the next key frame, so the frames
// between a segment change and that key frame are not recorded.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <string>
#include <wrl/client.h>

#include "v77/IV77DsBuffer.h"
#include "v77/IV77DsSource.h"
#include "v77/IV77Sinks.h"

class CV77LiveRecordGraph {
public:
    // Creates the module's filters, opens the camera (an SDP file, as the
    // sender wrote it), and adds and connects everything in graph (stopped).
    // view: the host's renderer for the primary output; decoder: null, or a
    // filter from the source's type to one the buffer takes; record: false
    // leaves the secondary output unconnected.
    HRESULT Build(IGraphBuilder* graph, const std::wstring& sdp, IBaseFilter* view, IBaseFilter* decoder,
                  bool record = true);
    // Closes the current segment and opens store\<first frame time>.avi.
    HRESULT StartSegment(const std::wstring& store, REFERENCE_TIME firstFrameTime);
    HRESULT CloseSegment();

    const SOURCE_INFORMATION& Info() const { return m_Info; }
    IBaseFilter* Source() const { return m_pSource.Get(); }
    IV77DsNetworkSource* Live() const { return m_pLive.Get(); }
    IV77DsBuffer* Buffer() const { return m_pBufferControl.Get(); }
    // What Build was doing when it failed ("" after success).
    const char* Step() const { return m_pStep; }

private:
    Microsoft::WRL::ComPtr<IBaseFilter> m_pSource;
    Microsoft::WRL::ComPtr<IBaseFilter> m_pBuffer;
    Microsoft::WRL::ComPtr<IBaseFilter> m_pRecorder;
    Microsoft::WRL::ComPtr<IV77DsNetworkSource> m_pLive;
    Microsoft::WRL::ComPtr<IV77DsBuffer> m_pBufferControl;
    Microsoft::WRL::ComPtr<IV77DsAviFileRenderer> m_pFile;
    SOURCE_INFORMATION m_Info = {};
    const char* m_pStep = "";
};
