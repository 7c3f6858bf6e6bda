// The UDP audio receiver: kChannelCount channels, channel i bound to the UDP
// port 127.0.0.1:(kDefaultBasePort + i) unless UdpMethod16 chose another.
// A channel's socket is bound by its first EnableChannel(TRUE) (whose result
// is the bind's) and stays bound until its port changes or the receiver goes;
// datagrams arriving while a channel is disabled are read and dropped, so
// nothing stale is delivered when it is enabled again.
//
// One receive thread polls every bound socket (50 ms time-out, so it sees
// Close) and calls the advised IUdpEvent with each datagram of an enabled
// channel. Sinks are not referenced (a sink owns a reference on us);
// Unadvise and EnableChannel(FALSE) therefore wait for a callback in progress
// on that channel, except when called from the callback itself.
//
// Receiver-specific slots: 16 UdpMethod16(channel, port) sets a channel's port
// (0: the default), rebinding it when bound; 17 UdpMethod17(channel, bytes)
// sets the socket receive buffer of the channel (SO_RCVBUF, applied at bind).
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <strmif.h>
#include <vfwmsgs.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "companions/components/net/CV77Socket.h"
#include "framework/CUnknown.h"
#include "v77/IV77Audio.h"
#include "v77/IV77Receivers.h"

class CV77UdpAudioReceiver : public CUnknown, public IV77UdpAudioReceiver {
public:
    static constexpr long kChannelCount = 4;
    static constexpr uint16_t kDefaultBasePort = 47000;
    static constexpr size_t kMaxDatagram = 65536;

    static CUnknown* CreateInstance(LPUNKNOWN outer, HRESULT* phr);

    CV77UdpAudioReceiver();
    ~CV77UdpAudioReceiver() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IV77UdpAudioReceiver (slots 3 to 15 and 19 to 32 are not served)
    STDMETHODIMP Reserved3() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved4() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved5() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved6() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved7() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved8() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved9() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved10() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved11() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved12() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved13() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved14() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved15() override { return E_NOTIMPL; }
    STDMETHODIMP UdpMethod16(DWORD channel, DWORD port) override;
    STDMETHODIMP UdpMethod17(DWORD channel, DWORD bytes) override;
    STDMETHODIMP_(LONG) GetChannelCount() override { return kChannelCount; }
    STDMETHODIMP Reserved19() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved20() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved21() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved22() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved23() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved24() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved25() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved26() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved27() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved28() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved29() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved30() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved31() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved32() override { return E_NOTIMPL; }
    // CONNECT_E_ADVISELIMIT when the channel already has a sink.
    STDMETHODIMP Advise(long channel, IUdpEvent* sink) override;
    STDMETHODIMP Unadvise(long channel) override;
    STDMETHODIMP EnableChannel(long channel, BOOL enable) override;

private:
    using Lock = std::unique_lock<std::mutex>;

    struct Channel {
        uint16_t port = 0;
        int receiveBuffer = 0;        // 0: the system's
        CV77Socket socket;
        IUdpEvent* sink = nullptr;    // not referenced
        bool enabled = false;
        bool inCallback = false;
    };

    static bool ValidChannel(long channel) { return channel >= 0 && channel < kChannelCount; }
    HRESULT Bind(Channel& channel);
    // Waits (lock held) until no callback runs on channel, unless we are that callback.
    void WaitForCallback(Lock& lock, Channel& channel);
    void ReceiveLoop();
    void Dispatch(long index, SOCKET s, std::vector<BYTE>& buffer);

    CV77WinsockInit m_Winsock;
    std::mutex m_Lock;
    std::condition_variable m_CallbackDone;
    std::array<Channel, kChannelCount> m_Channels;
    std::vector<CV77Socket> m_Retired;   // replaced sockets, closed by the receive thread between polls
    std::atomic<bool> m_bClosing{false};
    std::thread m_Thread;
};
