// The TCP channel: one loopback TCP connection carrying PCM frames (the
// "V77A" framing of companions/framing/V77FrameHeader.h) both ways.
//
// Threads: a receive thread (accepts the peer after Listen, reads frames and
// fills samples it asks the data-events object for) and a send thread (writes
// queued frames). SendSample only copies the sample into the bounded send
// queue, so a renderer calling it under its filter lock never waits for the
// peer; a full queue drops the newest frame. A frame is always written whole,
// so the peer's framing stays intact.
//
// Ways out of every wait: the threads poll their sockets with a short time-out
// and end on Close (or destruction). The one wait outside our control is the
// data-events GetBuffer (the source's allocator, which waits for a free
// buffer): it ends when that graph stops and decommits its allocator.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <strmif.h>
#include <vfwmsgs.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>
#include <wrl/client.h>

#include "companions/components/net/CV77Socket.h"
#include "companions/framing/CV77FrameReader.h"
#include "framework/CUnknown.h"
#include "v77/IV77Audio.h"
#include "v77/IV77Receivers.h"

class CV77TcpChannel : public CUnknown, public IV77TCPChannel {
public:
    // Frames waiting to be sent; one more is dropped.
    static constexpr size_t kMaxQueuedFrames = 32;
    static constexpr DWORD kConnectTimeoutMs = 2000;

    static CUnknown* CreateInstance(LPUNKNOWN outer, HRESULT* phr);

    CV77TcpChannel();
    ~CV77TcpChannel() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IV77TCPChannel
    STDMETHODIMP Connect(DWORD port) override;
    STDMETHODIMP Listen(DWORD port, DWORD* boundPort) override;
    STDMETHODIMP SetDataEvents(IUnknown* events) override;
    STDMETHODIMP SendSample(IMediaSample* sample) override;
    STDMETHODIMP Close() override;
    STDMETHODIMP GetStatistics(DWORD* sent, DWORD* received, DWORD* dropped) override;

private:
    using Lock = std::unique_lock<std::mutex>;
    using Frame = std::vector<uint8_t>;   // header and payload, ready to write

    // Starts both threads over m_Connection (or m_Listener, accepted by the receive thread).
    void StartThreads();
    void ReceiveLoop();
    void SendLoop();
    // After Listen: waits for the peer; false when closing.
    bool AcceptPeer();
    // Hands one frame to the data-events object, in as many samples as its buffers need.
    bool DeliverFrame(const v77framing::FrameHeader& header, const uint8_t* payload);
    // Writes all of frame; false when the connection failed or we are closing.
    bool WriteAll(SOCKET s, const Frame& frame);
    void Disconnect();

    CV77WinsockInit m_Winsock;
    std::mutex m_Lock;                 // everything below but the atomics
    std::condition_variable m_QueueChanged;
    CV77Socket m_Listener;
    CV77Socket m_Connection;
    std::atomic<SOCKET> m_ActiveSocket{INVALID_SOCKET};   // connected socket the send thread may use
    std::thread m_Receiver;
    std::thread m_Sender;
    std::atomic<bool> m_bClosing{false};
    bool m_bOpen = false;
    std::deque<Frame> m_SendQueue;
    Microsoft::WRL::ComPtr<IV77TCPChannelDataEvents> m_pEvents;
    std::atomic<DWORD> m_cSent{0};
    std::atomic<DWORD> m_cReceived{0};
    std::atomic<DWORD> m_cDropped{0};
};
