// An in-place transform on CTransInPlaceFilter: adds kIncrement to every
// byte when it modifies data, and remembers the samples it worked on.
#pragma once

#include <atomic>
#include <set>
#include "framework/CTransInPlaceFilter.h"

class CTestInPlaceFilter : public CTransInPlaceFilter {
public:
    static constexpr BYTE kIncrement = 3;

    // One reference, for Adopt() (not ComPtr::Attach, which adds one); null on failure.
    static CTestInPlaceFilter* Create(bool modifiesData = true);
    IBaseFilter* Filter() { return static_cast<IBaseFilter*>(this); }

    HRESULT CheckInputType(const CMediaType* mtIn) override;
    HRESULT Transform(IMediaSample* sample) override;

    bool Copying() const { return UsingDifferentAllocators() != FALSE; }
    IMemAllocator* InputAllocator() const;
    IMemAllocator* OutputAllocator() const;
    bool Transformed(IMediaSample* sample);

    std::atomic<long> transforms{0};

private:
    explicit CTestInPlaceFilter(bool modifiesData);

    CCritSec m_SeenLock;
    std::set<IMediaSample*> m_Seen;
};
