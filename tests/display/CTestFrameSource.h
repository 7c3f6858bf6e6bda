// A source filter whose one pin delivers exactly the frames a test pushes,
// on the test's own thread.
#pragma once

#include "framework/CBaseFilter.h"
#include "tests/display/CTestFramePin.h"

class CTestFrameSource : public CBaseFilter {
public:
    // AddRef'd; null on failure.
    static CTestFrameSource* Create(const CMediaType& mt);
    ~CTestFrameSource() override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? m_pPin : nullptr; }

    IBaseFilter* Filter() { return static_cast<IBaseFilter*>(this); }
    CTestFramePin* Pin() const { return m_pPin; }

private:
    CTestFrameSource(const CMediaType& mt, HRESULT* phr);

    CCritSec m_Lock;
    CTestFramePin* m_pPin;
};
