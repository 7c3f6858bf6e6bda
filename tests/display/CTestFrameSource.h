// A source filter whose one pin delivers exactly the frames a test pushes,
// on the test's own thread.
#pragma once

#include "framework/CBaseFilter.h"
#include "tests/display/CTestFramePin.h"
#include "tests/kit/TestGraph.h"

class CTestFrameSource : public CBaseFilter {
public:
    // AddRef'd; null on failure.
    static CTestFrameSource* Create(const CMediaType& mt);
    ~CTestFrameSource() override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? m_pPin : nullptr; }

    IBaseFilter* Filter() { return static_cast<IBaseFilter*>(this); }
    CTestFramePin* Pin() const { return m_pPin; }

    // Adds this source and the renderer to graph, connects them directly and
    // runs the graph. A renderer completes the change of state only with its
    // first sample, so the graph is not waited for.
    HRESULT RunInto(TestGraph& graph, IBaseFilter* renderer, LPCWSTR rendererName);

private:
    CTestFrameSource(const CMediaType& mt, HRESULT* phr);

    CCritSec m_Lock;
    CTestFramePin* m_pPin;
};
