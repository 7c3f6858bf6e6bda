#include "companions/components/udpreceiver/CV77UdpAudioReceiver.h"

#include <new>
#include <olectl.h>

#include "companions/components/udpreceiver/CV77DatagramSample.h"
#include "v77/V77Guids.h"

CUnknown* CV77UdpAudioReceiver::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    if (outer) {
        *phr = CLASS_E_NOAGGREGATION;
        return nullptr;
    }
    auto* receiver = new (std::nothrow) CV77UdpAudioReceiver();
    if (!receiver)
        *phr = E_OUTOFMEMORY;
    else if (FAILED(receiver->m_Winsock.Result()))
        *phr = receiver->m_Winsock.Result();
    return receiver;
}

CV77UdpAudioReceiver::CV77UdpAudioReceiver() : CUnknown(TEXT("V77 UDP audio receiver"), nullptr)
{
    for (long i = 0; i < kChannelCount; ++i)
        m_Channels[i].port = static_cast<uint16_t>(kDefaultBasePort + i);
    m_Thread = std::thread([this] { ReceiveLoop(); });
}

CV77UdpAudioReceiver::~CV77UdpAudioReceiver()
{
    m_bClosing = true;
    if (m_Thread.joinable())
        m_Thread.join();
}

STDMETHODIMP CV77UdpAudioReceiver::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IV77UdpAudioReceiver)
        return GetInterface(static_cast<IV77UdpAudioReceiver*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CV77UdpAudioReceiver::Bind(Channel& channel)
{
    CV77Socket s;
    HRESULT hr = CV77Socket::BindLoopback(SOCK_DGRAM, channel.port, &s);
    if (FAILED(hr))
        return hr;
    if (channel.receiveBuffer > 0)
        s.SetBufferSize(SO_RCVBUF, channel.receiveBuffer);
    hr = s.SetNonBlocking();
    if (FAILED(hr))
        return hr;
    channel.socket = std::move(s);
    return S_OK;
}

STDMETHODIMP CV77UdpAudioReceiver::UdpMethod16(DWORD index, DWORD port)
{
    if (!ValidChannel(static_cast<long>(index)) || port > 0xFFFF)
        return E_INVALIDARG;
    Lock lock(m_Lock);
    Channel& channel = m_Channels[index];
    channel.port = static_cast<uint16_t>(port != 0 ? port : kDefaultBasePort + index);
    if (!channel.socket.Valid())
        return S_OK;
    m_Retired.push_back(std::move(channel.socket));
    channel.socket = CV77Socket();
    // The old socket stays open until the receive thread retires it, so the
    // new port must differ from it, or be bound on the next enable.
    return channel.enabled ? Bind(channel) : S_OK;
}

STDMETHODIMP CV77UdpAudioReceiver::UdpMethod17(DWORD index, DWORD bytes)
{
    if (!ValidChannel(static_cast<long>(index)) || bytes > (64u << 20))
        return E_INVALIDARG;
    Lock lock(m_Lock);
    Channel& channel = m_Channels[index];
    channel.receiveBuffer = static_cast<int>(bytes);
    if (channel.socket.Valid() && bytes > 0)
        return channel.socket.SetBufferSize(SO_RCVBUF, channel.receiveBuffer);
    return S_OK;
}

STDMETHODIMP CV77UdpAudioReceiver::Advise(long index, IUdpEvent* sink)
{
    if (!ValidChannel(index))
        return E_INVALIDARG;
    if (!sink)
        return E_POINTER;
    Lock lock(m_Lock);
    Channel& channel = m_Channels[index];
    if (channel.sink)
        return CONNECT_E_ADVISELIMIT;
    channel.sink = sink;
    return S_OK;
}

void CV77UdpAudioReceiver::WaitForCallback(Lock& lock, Channel& channel)
{
    if (std::this_thread::get_id() == m_Thread.get_id())
        return;
    m_CallbackDone.wait(lock, [&channel] { return !channel.inCallback; });
}

STDMETHODIMP CV77UdpAudioReceiver::Unadvise(long index)
{
    if (!ValidChannel(index))
        return E_INVALIDARG;
    Lock lock(m_Lock);
    Channel& channel = m_Channels[index];
    if (!channel.sink)
        return CONNECT_E_NOCONNECTION;
    channel.sink = nullptr;
    WaitForCallback(lock, channel);
    return S_OK;
}

STDMETHODIMP CV77UdpAudioReceiver::EnableChannel(long index, BOOL enable)
{
    if (!ValidChannel(index))
        return E_INVALIDARG;
    Lock lock(m_Lock);
    Channel& channel = m_Channels[index];
    if (!enable) {
        channel.enabled = false;
        WaitForCallback(lock, channel);
        return S_OK;
    }
    if (!channel.socket.Valid()) {
        HRESULT hr = Bind(channel);
        if (FAILED(hr))
            return hr;
    }
    channel.enabled = true;
    return S_OK;
}

void CV77UdpAudioReceiver::ReceiveLoop()
{
    std::vector<BYTE> buffer(kMaxDatagram);
    while (!m_bClosing) {
        fd_set set;
        FD_ZERO(&set);
        SOCKET sockets[kChannelCount];
        {
            Lock lock(m_Lock);
            m_Retired.clear();
            for (long i = 0; i < kChannelCount; ++i) {
                sockets[i] = m_Channels[i].socket.Get();
                if (sockets[i] != INVALID_SOCKET)
                    FD_SET(sockets[i], &set);
            }
        }
        if (set.fd_count == 0) {
            Sleep(20);
            continue;
        }
        timeval tv = {0, 50 * 1000};
        const int n = select(0, &set, nullptr, nullptr, &tv);
        if (n <= 0) {
            if (n < 0)
                Sleep(5);   // a socket was replaced under us; poll again
            continue;
        }
        for (long i = 0; i < kChannelCount; ++i) {
            if (sockets[i] != INVALID_SOCKET && FD_ISSET(sockets[i], &set))
                Dispatch(i, sockets[i], buffer);
        }
    }
}

void CV77UdpAudioReceiver::Dispatch(long index, SOCKET s, std::vector<BYTE>& buffer)
{
    // Reads whatever is queued on the socket (a burst arrives between polls).
    for (int budget = 256; budget > 0 && !m_bClosing; --budget) {
        IUdpEvent* sink = nullptr;
        Channel& channel = m_Channels[index];
        const int n = recv(s, reinterpret_cast<char*>(buffer.data()), static_cast<int>(buffer.size()), 0);
        if (n < 0)
            return;   // drained (WSAEWOULDBLOCK), or an ICMP-reported error: poll again
        {
            Lock lock(m_Lock);
            // The socket may have been replaced since the poll; its data is stale then.
            if (channel.socket.Get() != s || !channel.enabled || !channel.sink)
                continue;
            sink = channel.sink;
            channel.inCallback = true;
        }
        CV77DatagramSample datagram(buffer.data(), n);
        sink->OnData(&datagram);
        {
            Lock lock(m_Lock);
            channel.inCallback = false;
        }
        m_CallbackDone.notify_all();
    }
}
