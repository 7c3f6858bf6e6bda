// A recording: the live view (primary output -> buffer -> view) plus the
// source's secondary output -> AVI file renderer, writing a recording store:
// one AVI segment per period, each named by the file time at which it was
// opened (its first frame is the first key frame after that instant).
#pragma once

#include <string>
#include <wrl/client.h>
#include "tools/V77Host/CLiveViewGraph.h"

class CRecordGraph {
public:
    // Builds the view with the secondary output to the AVI file renderer.
    // store: the folder (created when missing).
    HRESULT Build(CHostLiveSource& source, const LiveViewConfig& config, const std::wstring& store,
                  double segmentSeconds);
    // Once the graph runs: opens the first segment, then the next one
    // whenever a period is over; call it often.
    HRESULT Tick();
    // Stops the graph and closes the segment being written.
    HRESULT Finish();

    CLiveViewGraph& View() { return m_View; }
    const char* FailedStep() const { return m_pStep ? m_pStep : m_View.FailedStep(); }
    int Segments() const { return m_Segments; }
    const std::wstring& CurrentFile() const { return m_File; }

private:
    HRESULT Step(const char* what, HRESULT hr);
    HRESULT OpenSegment();

    CLiveViewGraph m_View;
    std::wstring m_Store;
    std::wstring m_File;
    ULONGLONG m_SegmentMs = 60000;
    ULONGLONG m_SegmentStart = 0;
    int m_Segments = 0;
    const char* m_pStep = nullptr;
};
