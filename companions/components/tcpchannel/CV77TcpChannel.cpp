#include "companions/components/tcpchannel/CV77TcpChannel.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "v77/V77Guids.h"

using v77framing::FrameHeader;

CUnknown* CV77TcpChannel::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    if (outer) {
        *phr = CLASS_E_NOAGGREGATION;
        return nullptr;
    }
    auto* channel = new (std::nothrow) CV77TcpChannel();
    if (!channel)
        *phr = E_OUTOFMEMORY;
    else if (FAILED(channel->m_Winsock.Result()))
        *phr = channel->m_Winsock.Result();
    return channel;
}

CV77TcpChannel::CV77TcpChannel() : CUnknown(TEXT("V77 TCP channel"), nullptr) {}

CV77TcpChannel::~CV77TcpChannel()
{
    Close();
}

STDMETHODIMP CV77TcpChannel::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IV77TCPChannel)
        return GetInterface(static_cast<IV77TCPChannel*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CV77TcpChannel::Connect(DWORD port)
{
    if (port == 0 || port > 0xFFFF)
        return E_INVALIDARG;
    Lock lock(m_Lock);
    if (m_bOpen)
        return VFW_E_WRONG_STATE;
    CV77Socket s;
    HRESULT hr = CV77Socket::ConnectLoopback(static_cast<uint16_t>(port), kConnectTimeoutMs, &s);
    if (FAILED(hr))
        return hr;
    m_Connection = std::move(s);
    m_ActiveSocket = m_Connection.Get();
    StartThreads();
    return S_OK;
}

STDMETHODIMP CV77TcpChannel::Listen(DWORD port, DWORD* boundPort)
{
    if (port > 0xFFFF)
        return E_INVALIDARG;
    Lock lock(m_Lock);
    if (m_bOpen)
        return VFW_E_WRONG_STATE;
    CV77Socket s;
    HRESULT hr = CV77Socket::ListenLoopback(static_cast<uint16_t>(port), 1, &s);
    if (FAILED(hr))
        return hr;
    if (boundPort)
        *boundPort = s.LocalPort();
    m_Listener = std::move(s);
    StartThreads();
    return S_OK;
}

void CV77TcpChannel::StartThreads()
{
    m_bClosing = false;
    m_bOpen = true;
    m_Receiver = std::thread([this] { ReceiveLoop(); });
    m_Sender = std::thread([this] { SendLoop(); });
}

STDMETHODIMP CV77TcpChannel::SetDataEvents(IUnknown* events)
{
    Microsoft::WRL::ComPtr<IV77TCPChannelDataEvents> sink;
    if (events) {
        HRESULT hr = events->QueryInterface(IID_IV77TCPChannelDataEvents, reinterpret_cast<void**>(sink.GetAddressOf()));
        if (FAILED(hr))
            return hr;
    }
    Lock lock(m_Lock);
    m_pEvents.Swap(sink);
    lock.unlock();
    return S_OK;   // the old sink is released outside the lock
}

STDMETHODIMP CV77TcpChannel::SendSample(IMediaSample* sample)
{
    if (!sample)
        return E_POINTER;
    BYTE* data = nullptr;
    HRESULT hr = sample->GetPointer(&data);
    if (FAILED(hr))
        return hr;
    const LONG length = sample->GetActualDataLength();
    if (length < 0 || static_cast<uint32_t>(length) > v77framing::kMaxFramePayload)
        return E_INVALIDARG;

    FrameHeader header;
    header.magic = v77framing::kPcmFrameMagic;
    header.length = static_cast<uint32_t>(length);
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    hr = sample->GetTime(&start, &stop);
    if (hr == S_OK)
        header.flags |= v77framing::kFrameTimeValid | v77framing::kFrameStopValid;
    else if (hr == VFW_S_NO_STOP_TIME)
        header.flags |= v77framing::kFrameTimeValid;
    header.start = start;
    header.stop = stop;
    if (sample->IsSyncPoint() == S_OK)
        header.flags |= v77framing::kFrameSyncPoint;
    if (sample->IsDiscontinuity() == S_OK)
        header.flags |= v77framing::kFrameDiscontinuity;

    Lock lock(m_Lock);
    if (m_ActiveSocket == INVALID_SOCKET || m_SendQueue.size() >= kMaxQueuedFrames) {
        // No peer, or a peer that does not keep up: the frame is lost, the graph goes on.
        ++m_cDropped;
        return S_OK;
    }
    Frame frame(v77framing::kFrameHeaderSize + header.length);
    v77framing::EncodeFrameHeader(header, frame.data());
    if (length > 0)
        std::memcpy(frame.data() + v77framing::kFrameHeaderSize, data, length);
    m_SendQueue.push_back(std::move(frame));
    m_QueueChanged.notify_one();
    return S_OK;
}

STDMETHODIMP CV77TcpChannel::Close()
{
    Lock lock(m_Lock);
    if (!m_bOpen)
        return S_FALSE;
    m_bClosing = true;
    m_QueueChanged.notify_all();
    std::thread receiver = std::move(m_Receiver);
    std::thread sender = std::move(m_Sender);
    lock.unlock();
    // Called from our own receive thread (a data-events call that closes us): do not join ourselves.
    for (std::thread* t : {&receiver, &sender}) {
        if (t->joinable()) {
            if (t->get_id() == std::this_thread::get_id())
                t->detach();
            else
                t->join();
        }
    }
    lock.lock();
    m_ActiveSocket = INVALID_SOCKET;
    m_Connection.Close();
    m_Listener.Close();
    m_SendQueue.clear();
    m_bOpen = false;
    return S_OK;
}

STDMETHODIMP CV77TcpChannel::GetStatistics(DWORD* sent, DWORD* received, DWORD* dropped)
{
    if (sent)
        *sent = m_cSent;
    if (received)
        *received = m_cReceived;
    if (dropped)
        *dropped = m_cDropped;
    return S_OK;
}

bool CV77TcpChannel::AcceptPeer()
{
    for (;;) {
        if (m_bClosing)
            return false;
        const int ready = m_Listener.WaitReadable(50);
        if (ready < 0)
            return false;
        if (ready == 0)
            continue;
        CV77Socket peer = m_Listener.Accept();
        if (!peer.Valid())
            continue;
        Lock lock(m_Lock);
        // One peer per channel: later ones are refused by closing the listener.
        m_Listener.Close();
        m_Connection = std::move(peer);
        m_Connection.SetNonBlocking();
        m_ActiveSocket = m_Connection.Get();
        m_QueueChanged.notify_all();
        return true;
    }
}

void CV77TcpChannel::ReceiveLoop()
{
    if (m_ActiveSocket == INVALID_SOCKET && !AcceptPeer())
        return;
    const SOCKET s = m_ActiveSocket;
    v77framing::CV77FrameReader reader(v77framing::kPcmFrameMagic);
    std::vector<uint8_t> chunk(64 * 1024);
    while (!m_bClosing) {
        const int ready = CV77Socket::Wait(s, false, 50);
        if (ready == 0)
            continue;
        const int n = ready < 0 ? -1 : recv(s, reinterpret_cast<char*>(chunk.data()), static_cast<int>(chunk.size()), 0);
        if (n < 0 && WSAGetLastError() == WSAEWOULDBLOCK)
            continue;
        if (n <= 0)
            break;   // the peer closed or the connection failed
        const auto status = reader.Push(chunk.data(), static_cast<size_t>(n),
                                        [this](const FrameHeader& h, const uint8_t* p) { return DeliverFrame(h, p); });
        if (status == v77framing::ParseStatus::Bad)
            break;   // corrupt framing cannot be resynchronised: drop the connection
    }
    Disconnect();
}

void CV77TcpChannel::Disconnect()
{
    Lock lock(m_Lock);
    const SOCKET s = m_ActiveSocket.exchange(INVALID_SOCKET);
    if (s != INVALID_SOCKET)
        shutdown(s, SD_BOTH);   // the peer sees the end; the socket is closed by Close
    m_SendQueue.clear();
    m_QueueChanged.notify_all();
}

bool CV77TcpChannel::DeliverFrame(const FrameHeader& header, const uint8_t* payload)
{
    ++m_cReceived;
    Microsoft::WRL::ComPtr<IV77TCPChannelDataEvents> events;
    {
        Lock lock(m_Lock);
        events = m_pEvents;
    }
    if (!events)
        return true;   // nobody listening: the frame is read and dropped
    uint32_t offset = 0;
    bool first = true;
    // A frame larger than the source's buffers is split; the times and flags go with its first part.
    while (!m_bClosing && (first || offset < header.length)) {
        Microsoft::WRL::ComPtr<IMediaSample> sample;
        if (FAILED(events->GetBuffer(sample.GetAddressOf())) || !sample)
            return true;   // no buffer (not connected, stopped): the rest of the frame is dropped
        BYTE* data = nullptr;
        const LONG size = sample->GetSize();
        if (FAILED(sample->GetPointer(&data)) || size <= 0)
            return true;
        const uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(size), header.length - offset);
        if (n > 0)
            std::memcpy(data, payload + offset, n);
        sample->SetActualDataLength(static_cast<LONG>(n));
        if (first) {
            REFERENCE_TIME start = header.start;
            REFERENCE_TIME stop = header.stop;
            if (header.flags & v77framing::kFrameTimeValid)
                sample->SetTime(&start, (header.flags & v77framing::kFrameStopValid) ? &stop : nullptr);
            else
                sample->SetTime(nullptr, nullptr);
            sample->SetSyncPoint((header.flags & v77framing::kFrameSyncPoint) ? TRUE : FALSE);
            sample->SetDiscontinuity((header.flags & v77framing::kFrameDiscontinuity) ? TRUE : FALSE);
        } else {
            sample->SetTime(nullptr, nullptr);
            sample->SetSyncPoint(FALSE);
            sample->SetDiscontinuity(FALSE);
        }
        sample->SetMediaTime(nullptr, nullptr);
        events->OnSample(sample.Get());
        offset += n;
        first = false;
    }
    return true;
}

bool CV77TcpChannel::WriteAll(SOCKET s, const Frame& frame)
{
    size_t done = 0;
    while (done < frame.size()) {
        if (m_bClosing || m_ActiveSocket == INVALID_SOCKET)
            return false;
        // Send first, wait only when the socket is full: a poll per frame costs more than the send.
        const int n = send(s, reinterpret_cast<const char*>(frame.data() + done),
                           static_cast<int>(std::min<size_t>(frame.size() - done, 1 << 20)), 0);
        if (n < 0) {
            if (WSAGetLastError() != WSAEWOULDBLOCK || CV77Socket::Wait(s, true, 50) < 0)
                return false;
            continue;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

void CV77TcpChannel::SendLoop()
{
    for (;;) {
        Lock lock(m_Lock);
        m_QueueChanged.wait(lock, [this] { return m_bClosing || !m_SendQueue.empty(); });
        if (m_bClosing)
            return;
        Frame frame = std::move(m_SendQueue.front());
        m_SendQueue.pop_front();
        const SOCKET s = m_ActiveSocket;
        lock.unlock();
        if (s == INVALID_SOCKET)
            continue;
        if (WriteAll(s, frame))
            ++m_cSent;
        else
            ++m_cDropped;
    }
}
