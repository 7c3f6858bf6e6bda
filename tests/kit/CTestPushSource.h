// A source filter whose one pin ("Out") delivers exactly the packets a test
// pushes (CTestPushPin), on the test's own thread.
#pragma once

#include "framework/CBaseFilter.h"
#include "tests/kit/CTestPushPin.h"

class CTestPushSource : public CBaseFilter {
public:
    // One reference, for Adopt(); null on failure. bufferSize 0: the type's sample size.
    static CTestPushSource* Create(const CMediaType& mt, LONG bufferSize = 0);
    ~CTestPushSource() override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? m_pPin : nullptr; }

    IBaseFilter* Filter() { return static_cast<IBaseFilter*>(this); }
    CTestPushPin* Pin() const { return m_pPin; }

private:
    CTestPushSource(const CMediaType& mt, LONG bufferSize, HRESULT* phr);

    CCritSec m_Lock;
    CTestPushPin* m_pPin;
};
