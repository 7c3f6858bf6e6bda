// Archive playback of a recording store in synchronised views: per view an
// archive source (its own receiver) -> buffer filter with the time-shift
// queue -> the host's renderer; the first view's buffer is the group's master
// and the others follow it. Seek, rate and steps go through the master. The
// buffer takes only uncompressed video: a compressed recording is played
// through a decoder per view (the source finds its buffer across it).
#pragma once

#include <windows.h>
#include <strmif.h>
#include <string>
#include <vector>
#include <wrl/client.h>

#include "v77/IV77DsBuffer.h"
#include "v77/IV77DsSource.h"
#include "v77/V77Guids.h"

class CV77PlaybackGroup {
public:
    // The time of the store folder's first segment (from its name), 0 when it holds none.
    static REFERENCE_TIME StoreStart(const std::wstring& store);

    // The archive source's class: the store source (default, store = the
    // folder) or the TCP archive source (store = "host:port" of an archive server).
    void SetSourceClass(const CLSID& clsid) { m_SourceClass = clsid; }
    // One view per renderer, added and connected in graph (stopped).
    // decoders: empty, or one per view between its source and buffer.
    // segmentFrames: the frames of one time-shift segment; 0: about a second
    // of the recording.
    HRESULT Build(IGraphBuilder* graph, const std::wstring& store, const std::vector<IBaseFilter*>& views,
                  const std::vector<IBaseFilter*>& decoders = {}, LONG segmentFrames = 10);
    // After the graph runs: every source starts its receiver at position
    // (the group stays at rate 0, showing nothing, until a rate is set).
    HRESULT Start(REFERENCE_TIME position);

    HRESULT Seek(REFERENCE_TIME position);
    HRESULT SetRate(double rate);
    // On any view: the group moves together.
    HRESULT Step(LONG frames, size_t view = 0);
    // Current, start and stop at once (null: unchanged).
    HRESULT SetPositions(REFERENCE_TIME* current, REFERENCE_TIME* start, REFERENCE_TIME* stop);

    // Set by the first Open, even when Build failed after it.
    const SOURCE_INFORMATION& Info() const { return m_Info; }
    size_t Views() const { return m_Views.size(); }
    IV77DsBuffer* Buffer(size_t view) const { return m_Views[view].control.Get(); }
    // What Build or Start was doing when it failed ("" after success).
    const char* FailedStep() const { return m_pStep; }

private:
    struct View {
        Microsoft::WRL::ComPtr<IBaseFilter> source;
        Microsoft::WRL::ComPtr<IBaseFilter> buffer;
        Microsoft::WRL::ComPtr<IV77DsBuffer> control;
    };
    HRESULT AddView(IGraphBuilder* graph, const std::wstring& store, IBaseFilter* renderer, IBaseFilter* decoder,
                    LONG segmentFrames);
    HRESULT Fail(const char* step, HRESULT hr);

    std::vector<View> m_Views;
    SOURCE_INFORMATION m_Info = {};
    CLSID m_SourceClass = CLSID_V77DsARCSource;
    const char* m_pStep = "";
};
