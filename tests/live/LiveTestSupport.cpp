#include "tests/live/LiveTestSupport.h"

#include <ws2tcpip.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "tools/common/CCameraReference.h"
#include "v77/V77Guids.h"

namespace live {

std::string Input(const std::string& name)
{
    std::string path = std::string("Z:") + V77_LIVE_INPUTS + "/" + name;
    for (char& c : path) {
        if (c == '/')
            c = '\\';
    }
    return path;
}

std::wstring InputW(const std::string& name)
{
    const std::string narrow = Input(name);
    return std::wstring(narrow.begin(), narrow.end());
}

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<Reference> ReadFrameCrc(const std::string& name)
{
    std::vector<std::pair<size_t, uint32_t>> packets;
    std::vector<bool> keys;
    CCameraReference::ReadList(InputW(name), &packets, &keys);
    std::vector<Reference> crcs;
    for (size_t i = 0; i < packets.size(); ++i)
        crcs.push_back({packets[i].first, packets[i].second, keys[i]});
    return crcs;
}

uint32_t Adler32(const BYTE* data, size_t size)
{
    return CCameraReference::Adler32(data, size);
}

CTestEvents::CTestEvents(DWORD bufferSize, DWORD count)
{
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_V77SamplePool, nullptr, CLSCTX_INPROC_SERVER, IID_IV77SamplePool,
                                     m_pPool.OutVoid()));
    if (m_pPool) {
        EXPECT_EQ(S_OK, m_pPool->AllocateBuffers(bufferSize, count));
    }
}

CTestEvents::~CTestEvents()
{
    ReleaseHeld();
    if (m_pPool)
        m_pPool->Shutdown(INFINITE);
}

STDMETHODIMP CTestEvents::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown)
        return E_NOINTERFACE;
    *ppv = static_cast<IUnknown*>(this);
    return S_OK;
}

STDMETHODIMP CTestEvents::GetBuffer(IUnknown*, IMediaSample** ppSample)
{
    if (!ppSample || !m_pPool)
        return E_POINTER;
    ++m_cInGetBuffer;
    IUnknown* item = nullptr;
    HRESULT hr = m_pPool->GetItem(&item, INFINITE);
    --m_cInGetBuffer;
    if (hr != S_OK)
        return hr;
    CRef<IUnknown> owned(item);
    CRef<IV77PoolItem> poolItem = owned.As<IV77PoolItem>(IID_IV77PoolItem);
    if (poolItem)
        poolItem->Reset();
    return owned->QueryInterface(IID_IMediaSample, reinterpret_cast<void**>(ppSample));
}

STDMETHODIMP CTestEvents::OnSample(IMediaSample* sample)
{
    ReceivedFrame frame;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    frame.size = sample->GetActualDataLength();
    frame.crc = Adler32(data, static_cast<size_t>(frame.size));
    frame.sync = sample->IsSyncPoint() == S_OK;
    frame.discontinuity = sample->IsDiscontinuity() == S_OK;
    REFERENCE_TIME stop = 0;
    sample->GetMediaTime(&frame.start, &stop);
    CRef<IMediaSample2> sample2;
    if (SUCCEEDED(sample->QueryInterface(IID_IMediaSample2, sample2.OutVoid()))) {
        AM_SAMPLE2_PROPERTIES props = {};
        if (SUCCEEDED(sample2->GetProperties(sizeof props, reinterpret_cast<BYTE*>(&props))))
            frame.typeFlags = props.dwTypeSpecificFlags;
    }
    CRef<IUnknown> identity;
    sample->QueryInterface(IID_IUnknown, identity.OutVoid());
    frame.item = identity.Get();
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (frame.typeFlags & 0x00010000)
        ++m_cMarkers;
    m_Frames.push_back(frame);
    ++m_cFrames;
    if (m_bHold) {
        sample->AddRef();
        m_Held.push_back(sample);
    }
    m_Changed.notify_all();
    return S_OK;
}

STDMETHODIMP CTestEvents::OnStreamEventA()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    ++m_cA;
    m_Changed.notify_all();
    return S_OK;
}

STDMETHODIMP CTestEvents::OnStreamEventB()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    ++m_cB;
    m_Changed.notify_all();
    return S_OK;
}

bool CTestEvents::WaitUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    return m_Changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
}

std::vector<ReceivedFrame> CTestEvents::Frames()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Frames;
}

void CTestEvents::ReleaseHeld()
{
    std::vector<IMediaSample*> held;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        held.swap(m_Held);
    }
    for (IMediaSample* s : held)
        s->Release();
}

void CTestEvents::ShutdownPool()
{
    if (m_pPool)
        m_pPool->Shutdown(INFINITE);
}

void CTestEvents::Clear()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Frames.clear();
    m_cFrames = 0;
    m_cA = m_cB = m_cMarkers = 0;
}

std::vector<int> Identify(const std::vector<ReceivedFrame>& frames, const std::vector<Reference>& reference)
{
    std::vector<int> ids;
    size_t from = 0;
    for (const ReceivedFrame& f : frames) {
        int found = -1;
        for (size_t i = from; i < reference.size(); ++i) {
            if (reference[i].crc == f.crc && reference[i].size == static_cast<size_t>(f.size)) {
                found = static_cast<int>(i);
                from = i + 1;
                break;
            }
        }
        ids.push_back(found);
    }
    return ids;
}

unsigned short FreePort(int type)
{
    SOCKET s = socket(AF_INET, type, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    closesocket(s);
    return ntohs(address.sin_port);
}

CRtpReplay::CRtpReplay(const std::string& name) : m_uPort(FreePort(SOCK_DGRAM)), m_Socket(socket(AF_INET, SOCK_DGRAM, 0))
{
    const std::vector<uint8_t> bytes = ReadBytes(Input(name + ".rtp"));
    for (size_t at = 0; at + 2 <= bytes.size();) {
        const size_t length = (size_t(bytes[at]) << 8) | bytes[at + 1];
        at += 2;
        if (at + length > bytes.size())
            break;
        m_Datagrams.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                 bytes.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
    }
    // The same SDP, with this replay's port on the video media line.
    const std::vector<uint8_t> sdp = ReadBytes(Input(name + ".sdp"));
    std::string text(sdp.begin(), sdp.end());
    const size_t media = text.find("m=video ");
    if (media != std::string::npos) {
        const size_t portEnd = text.find(' ', media + 8);
        text.replace(media + 8, portEnd - media - 8, std::to_string(m_uPort));
    }
    const std::string path = Input(name + "-" + std::to_string(m_uPort) + ".sdp");
    std::ofstream(path, std::ios::binary) << text;
    m_SdpPath.assign(path.begin(), path.end());
}

CRtpReplay::~CRtpReplay()
{
    closesocket(m_Socket);
    DeleteFileW(m_SdpPath.c_str());
}

void CRtpReplay::Send(const std::vector<std::vector<uint8_t>>& datagrams, DWORD pauseEvery)
{
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(m_uPort);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    size_t sent = 0;
    for (const auto& d : datagrams) {
        sendto(m_Socket, reinterpret_cast<const char*>(d.data()), static_cast<int>(d.size()), 0,
               reinterpret_cast<const sockaddr*>(&to), sizeof to);
        // Short breaks keep the receiver's socket buffer from overflowing.
        if (pauseEvery && ++sent % pauseEvery == 0)
            Sleep(1);
    }
}

CTcpPeer::CTcpPeer(Script script) : m_Listen(socket(AF_INET, SOCK_STREAM, 0)), m_uPort(0)
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    bind(m_Listen, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(m_Listen, 4);
    getsockname(m_Listen, reinterpret_cast<sockaddr*>(&address), &length);
    m_uPort = ntohs(address.sin_port);
    m_Thread = std::thread([this, script] {
        // Bounded: a test that never connects leaves after its stop.
        while (!m_bStop) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(m_Listen, &readable);
            timeval timeout = {0, 50000};
            if (select(0, &readable, nullptr, nullptr, &timeout) <= 0)
                continue;
            SOCKET peer = accept(m_Listen, nullptr, nullptr);
            if (peer == INVALID_SOCKET)
                continue;
            script(peer, m_bStop);
            closesocket(peer);
            return;
        }
    });
}

CTcpPeer::~CTcpPeer()
{
    m_bStop = true;
    m_Thread.join();
    closesocket(m_Listen);
}

std::wstring CTcpPeer::Address() const { return L"127.0.0.1:" + std::to_wstring(m_uPort); }

bool SendAll(SOCKET s, const uint8_t* data, size_t size)
{
    while (size) {
        const int sent = send(s, reinterpret_cast<const char*>(data), static_cast<int>(size), 0);
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

CRef<IV77LiveReceiver> NewReceiver(REFCLSID clsid)
{
    CRef<IV77LiveReceiver> receiver;
    EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IV77LiveReceiver,
                                     receiver.OutVoid()));
    return receiver;
}

}  // namespace live
