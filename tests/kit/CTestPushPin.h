// Output pin of CTestPushSource: offers one media type and delivers exactly
// the packets a test pushes, on the test's thread, with the times, media
// times and flags the test gives.
#pragma once

#include <vector>
#include "framework/CBaseOutputPin.h"

struct TestPacket {
    std::vector<BYTE> bytes;
    LONG length = -1;            // actual data length (-1: the bytes given)
    bool timeValid = false;
    REFERENCE_TIME start = 0, stop = 0;
    bool mediaTimeValid = false;
    LONGLONG mediaStart = 0, mediaStop = 0;
    bool syncPoint = true;
};

class CTestPushPin : public CBaseOutputPin {
public:
    CTestPushPin(CBaseFilter* filter, CCritSec* lock, HRESULT* phr, const CMediaType& mt, LONG bufferSize);

    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

    // One sample from the negotiated allocator, filled as the packet says.
    HRESULT Push(const TestPacket& packet);

private:
    CMediaType m_Type;
    LONG m_BufferSize;
};
