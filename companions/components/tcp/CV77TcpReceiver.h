// Live receiver of an MPEG-4 Part 2 elementary stream read from a TCP peer
// (an encoder writing its raw output to a socket).
//
// Open(source1 = "host:port", source2 = zone file or empty) connects (at
// most kConnectTimeoutMs) and reads until the VOL header and the first key
// frame have arrived (at most kHeaderWaitMs); the frames read so far are
// kept and handed out first. The stream is described as DX50 with the VOL
// headers as decoder configuration; the frame time comes from a fixed VOP
// rate in the VOL, else from Configure, else from the first two VOP times.
// Frames are split at VOP start codes, I-VOPs are sync points, stamps are
// arrival times. The socket is read only while streaming, so the peer is
// held back by TCP instead of frames being dropped. A peer that closes
// (a frame cut short is dropped), fails, or stays silent for the silence
// time while streaming ends the stream with stream event B.
//
// IV77TcpReceiver::Configure(reserved, framesPerSecond, silenceMs): a frame
// rate (0 < fps <= 1000) for streams whose VOL has none, applied by the next
// Open; 0 keeps the VOL's or the measured one. silenceMs 0 means 5 s.
#pragma once

#include "companions/components/net/CV77Socket.h"  // Winsock before windows.h

#include <atomic>
#include <deque>
#include <memory>

#include "companions/components/live/CV77LiveReceiver.h"
#include "companions/components/parsers/CV77Mpeg4EsSplitter.h"

class CV77TcpReceiver : public CV77LiveReceiver, public IV77TcpReceiver {
public:
    static constexpr DWORD kConnectTimeoutMs = 3000;
    static constexpr DWORD kHeaderWaitMs = 3000;
    static constexpr DWORD kDefaultSilenceMs = 5000;
    static constexpr size_t kMaxFrameBytes = 4 << 20;
    // Frames read during Open beyond this many are dropped back to a key frame.
    static constexpr size_t kMaxEarlyFrames = 64;

    static CUnknown* CreateInstance(LPUNKNOWN outer, HRESULT* phr);

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IV77TcpReceiver
    STDMETHODIMP Configure(DWORD reserved, double framesPerSecond, DWORD silenceMs) override;

protected:
    HRESULT OpenStream(BSTR source1, BSTR source2, SOURCE_INFORMATION* info, CMediaType* mt) override;
    void Stream() override;
    void Wake() override {}
    void CloseStream() override;

private:
    explicit CV77TcpReceiver(HRESULT* phr);
    HRESULT ReadHeaders();
    REFERENCE_TIME ChooseFrameTime() const;
    // Hands out the frames; false when a stop was requested meanwhile.
    bool Deliver(std::deque<Mpeg4EsFrame>* frames);
    void Idle();

    // Winsock is started while a socket is open and stopped once it is
    // closed, not for the receiver's life: a receiver can outlive its host's
    // own Winsock use on a stream thread that lingers past Close.
    std::unique_ptr<CV77WinsockInit> m_pWinsock;
    CV77Socket m_Connection;
    std::unique_ptr<CV77Mpeg4EsSplitter> m_pSplitter;
    std::deque<Mpeg4EsFrame> m_Early;
    REFERENCE_TIME m_tFrame = 0;
    std::atomic<double> m_dFramesPerSecond{0.0};
    std::atomic<DWORD> m_dwSilenceMs{kDefaultSilenceMs};
};
