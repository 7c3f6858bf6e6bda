// The demo's camera: a source filter of the host program with one pattern
// stream, standing in for a live source.
#pragma once

#include "framework/CSource.h"

class CHostPatternStream;

class CHostPatternSource : public CSource {
public:
    // One reference; null on failure.
    static CHostPatternSource* Create();

    IBaseFilter* Filter() { return static_cast<IBaseFilter*>(this); }
    CHostPatternStream* Stream() const { return m_pStream; }

private:
    explicit CHostPatternSource(HRESULT* phr);

    CHostPatternStream* m_pStream;  // owned through CSource's pin array
};
