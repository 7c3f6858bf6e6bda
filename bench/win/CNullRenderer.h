// A renderer that renders nothing: one input pin that takes each frame the
// moment it arrives, for measuring what lies upstream of it.
#pragma once

#include "bench/win/BenchCounters.h"
#include "framework/CBaseFilter.h"
#include "framework/CCritSec.h"

class CNullRendererPin;

class CNullRenderer : public CBaseFilter {
public:
    // One reference; null on failure.
    static CNullRenderer* Create(BenchCounters* counters);

    IBaseFilter* Filter() { return static_cast<IBaseFilter*>(this); }
    int GetPinCount() override;
    CBasePin* GetPin(int n) override;

private:
    CNullRenderer(BenchCounters* counters, HRESULT* phr);
    ~CNullRenderer() override;

    CCritSec m_Lock;
    CNullRendererPin* m_pPin;   // owned
};
