// Live receiver of an RTP/UDP camera stream, MPEG-4 Part 2 (RFC 3016).
//
// Open(source1 = path of an SDP file, source2 = zone file or empty): reads
// the first video stream of the SDP, binds its port on its connection
// address, and describes the stream as DX50 with the decoder configuration
// (the SDP's config=, else the VOL a sender puts in front of key frames,
// awaited for at most kConfigWaitMs) after the BITMAPINFOHEADER. Frames are
// handed out from the first key frame after streaming starts, stamped with
// their arrival time; after a loss the next frame handed out is a key frame
// marked as a discontinuity and with the "frames lost" status bit.
// SetTimeParameter sets the silence (100 ns) after which the stream counts
// as broken (stream event B); packets arriving again raise event A.
#pragma once

#include "companions/components/net/CV77Socket.h"  // Winsock before windows.h

#include <memory>

#include "companions/components/live/CV77LiveReceiver.h"
#include "companions/components/parsers/CV77Mpeg4Depacketizer.h"

class CV77NetworkReceiver : public CV77LiveReceiver {
public:
    static constexpr DWORD kConfigWaitMs = 4000;
    static constexpr DWORD kDefaultSilenceMs = 5000;
    // Frames larger than this are dropped (and the stream resumes at a key frame).
    static constexpr size_t kMaxFrameBytes = 4 << 20;

    static CUnknown* CreateInstance(LPUNKNOWN outer, HRESULT* phr);

protected:
    HRESULT OpenStream(BSTR source1, BSTR source2, SOURCE_INFORMATION* info, CMediaType* mt) override;
    void Stream() override;
    void Wake() override {}
    void CloseStream() override;

private:
    explicit CV77NetworkReceiver(HRESULT* phr);
    HRESULT AwaitInBandConfig(std::vector<uint8_t>* config);
    // Hands out the frames; false when a stop was requested meanwhile.
    bool Deliver(std::vector<Mpeg4Frame>* frames);
    DWORD SilenceMs() const;

    // Winsock is started while a socket is open and stopped once it is
    // closed, not for the receiver's life: a receiver can outlive its host's
    // own Winsock use on a stream thread that lingers past Close.
    std::unique_ptr<CV77WinsockInit> m_pWinsock;
    CV77Socket m_Socket;
    std::unique_ptr<CV77Mpeg4Depacketizer> m_pDepacketizer;
    REFERENCE_TIME m_tFrame = 0;
    bool m_bLossPending = false;    // stream thread: a loss since the last frame handed out
};
