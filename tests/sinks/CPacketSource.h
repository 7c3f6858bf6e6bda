// A source that delivers a list of recorded packets (bytes, key flag) one per
// sample, with times from a frame rate and a pause between packets, then
// ends the stream.
#pragma once

#include <string>
#include <vector>

#include "framework/CMediaType.h"
#include "framework/CSource.h"
#include "framework/CSourceStream.h"

struct Packet {
    std::string bytes;
    bool key = false;
};

class CPacketStream : public CSourceStream {
public:
    CPacketStream(HRESULT* phr, CSource* filter, const CMediaType& mt, std::vector<Packet> packets, DWORD gapMs);

    HRESULT GetMediaType(CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

protected:
    HRESULT FillBuffer(IMediaSample* sample) override;
    HRESULT OnThreadCreate() override;

private:
    CMediaType m_Type;
    std::vector<Packet> m_Packets;
    DWORD m_GapMs;
    size_t m_Next = 0;
};

class CPacketSource : public CSource {
public:
    // One reference, for Adopt(); null on failure.
    static CPacketSource* Create(const CMediaType& mt, std::vector<Packet> packets, DWORD gapMs);
    IBaseFilter* Filter() { return static_cast<IBaseFilter*>(this); }

private:
    CPacketSource(const CMediaType& mt, std::vector<Packet> packets, DWORD gapMs, HRESULT* phr);
};
