// A copying transform on CTransformFilter: output type = input type, each
// output byte is the input byte XOR kTransformMask.
#pragma once

#include <atomic>
#include "framework/CTransformFilter.h"

class CTestTransformFilter : public CTransformFilter {
public:
    static constexpr BYTE kTransformMask = 0xFF;

    // One reference, for Adopt() (not ComPtr::Attach, which adds one); null on failure.
    static CTestTransformFilter* Create();
    IBaseFilter* Filter() { return static_cast<IBaseFilter*>(this); }

    HRESULT CheckInputType(const CMediaType* mtIn) override;
    HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override;
    HRESULT AlterQuality(Quality q) override;

    // Transform returns S_FALSE (skip) for every n-th sample (0: never).
    void SkipEvery(long n) { m_SkipEvery = n; }

    std::atomic<long> transforms{0};
    std::atomic<long> startStreamings{0};
    std::atomic<long> stopStreamings{0};
    std::atomic<long> qualityMessages{0};

private:
    CTestTransformFilter();

    std::atomic<long> m_SkipEvery{0};
};
