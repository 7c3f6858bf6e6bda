// The stream server: re-publishes the stream of one image source (the
// network renderer) to any number of TCP clients on 127.0.0.1.
//
// RegisterSource(port, queue, source, 0) listens on 127.0.0.1:port (0: a free
// port, read with GetPort), subscribes a sink to the source and holds the
// source until Revoke. Each client that connects gets the stream description
// and media type of the moment (V77StreamDescription.h), then every frame
// delivered from then on ("V77F" frames, V77FrameHeader.h: times and the key
// flag of the sample), starting at a key frame when the type is temporally
// compressed. Each client has its own thread and a queue of at most `queue`
// frames (0: 64); a client that falls behind loses frames, never the graph's
// time. A client whose connection fails is dropped.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "companions/components/net/CV77Socket.h"
#include "companions/components/streamserver/CV77StreamClient.h"
#include "framework/CUnknown.h"
#include "v77/IV77Receivers.h"
#include "v77/IV77Sinks.h"

class CV77StreamSink;

class CV77StreamServer : public CUnknown, public IV77StreamServer {
public:
    static constexpr size_t kDefaultQueue = 64;

    static CUnknown* CreateInstance(LPUNKNOWN outer, HRESULT* phr);

    CV77StreamServer();
    ~CV77StreamServer() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IV77StreamServer
    STDMETHODIMP GetPort(DWORD* port) override;
    STDMETHODIMP GetClientCount(DWORD* count) override;
    STDMETHODIMP GetStatistics(DWORD* delivered, DWORD* dropped) override;
    STDMETHODIMP Revoke() override;
    STDMETHODIMP Reserved7() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved8() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved9() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved10() override { return E_NOTIMPL; }
    // VFW_E_WRONG_STATE when a source is registered already.
    STDMETHODIMP RegisterSource(DWORD port, DWORD queue, IV77ImageSource* source, LONGLONG zero) override;

    // From the sink, on the graph's thread: one frame to every client.
    HRESULT Deliver(IMediaSample* sample);

private:
    void AcceptLoop();
    // The description of the source's stream now; null when the source has none.
    CV77StreamClient::Bytes Describe(bool* keyed);

    CV77WinsockInit m_Winsock;
    std::mutex m_StateLock;                    // registration: listener, source, sink, thread
    CV77Socket m_Listener;
    IV77ImageSource* m_pSource = nullptr;      // one reference
    CV77StreamSink* m_pSink = nullptr;         // one reference (its non-delegating count)
    std::thread m_Acceptor;
    std::atomic<bool> m_bStopping{false};
    std::atomic<DWORD> m_Port{0};
    size_t m_MaxQueued = kDefaultQueue;

    std::mutex m_ClientLock;                   // the client list only; never held across calls out
    std::vector<std::unique_ptr<CV77StreamClient>> m_Clients;
    std::atomic<DWORD> m_cDelivered{0};
    std::atomic<DWORD> m_cDropped{0};
};
