// The benchmark source filter: one CBenchSourceStream pin ("Out").
#pragma once

#include "bench/win/CBenchSourceStream.h"
#include "framework/CSource.h"

class CBenchSource : public CSource {
public:
    // One reference; null on failure.
    static CBenchSource* Create(const BenchSourceConfig& config);

    IBaseFilter* Filter() { return static_cast<IBaseFilter*>(this); }
    CBenchSourceStream* Stream() const { return m_pStream; }

private:
    CBenchSource(const BenchSourceConfig& config, HRESULT* phr);

    CBenchSourceStream* m_pStream;   // owned through CSource's pin array
};
