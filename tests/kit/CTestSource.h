// A source filter on CSource with one CTestSourceStream pin ("Out") that
// delivers scripted frames.
#pragma once

#include "framework/CSource.h"
#include "tests/kit/TestSourceConfig.h"

class CTestSourceStream;

class CTestSource : public CSource {
public:
    // One reference, for Adopt() (not ComPtr::Attach, which adds one); null on failure.
    static CTestSource* Create(const TestSourceConfig& config);

    CTestSourceStream* Stream() const { return m_pStream; }
    IBaseFilter* Filter() { return static_cast<IBaseFilter*>(this); }

private:
    explicit CTestSource(const TestSourceConfig& config, HRESULT* phr);

    CTestSourceStream* m_pStream;   // owned through CSource's pin array
};
