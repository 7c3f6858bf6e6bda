// Test harness of the live receivers: a sink implementing the source
// filter's events interface over a real sample pool, ffmpeg's reference
// checksums, and the peers (RTP replay of ffmpeg's datagrams, a TCP server
// of ffmpeg's elementary stream) on loopback ports chosen at run time.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/components/TestCom.h"
#include "v77/IV77DsSource.h"
#include "v77/IV77Receivers.h"

namespace live {

// Windows path of an input made by make-inputs.py.
std::string Input(const std::string& name);
std::wstring InputW(const std::string& name);
std::vector<uint8_t> ReadBytes(const std::string& path);

struct Reference {
    size_t size;
    uint32_t crc;
    bool key;
};
// The framecrc file of an input (Adler-32 of each packet, as ffmpeg computes it).
std::vector<Reference> ReadFrameCrc(const std::string& name);
uint32_t Adler32(const BYTE* data, size_t size);

// An owned BSTR.
class CBstr {
public:
    explicit CBstr(const std::wstring& s) : m_b(SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
    ~CBstr() { SysFreeString(m_b); }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;
    operator BSTR() const { return m_b; }

private:
    BSTR m_b;
};

struct ReceivedFrame {
    uint32_t crc = 0;
    LONG size = 0;
    bool sync = false;
    bool discontinuity = false;
    DWORD typeFlags = 0;
    REFERENCE_TIME start = 0;
    IUnknown* item = nullptr;  // identity only, not counted
};

// The events interface a live source gives its receiver, over a sample pool.
// Frames are recorded in order; samples may be held to exhaust the pool.
class CTestEvents : public IV77RTPReceiverEvents {
public:
    CTestEvents(DWORD bufferSize, DWORD count);
    ~CTestEvents();

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetBuffer(IUnknown* context, IMediaSample** ppSample) override;
    STDMETHODIMP OnSample(IMediaSample* pSample) override;
    STDMETHODIMP OnStreamEventA() override;
    STDMETHODIMP OnStreamEventB() override;

    // Waits (bounded) until done() holds; done() runs under the lock, so it
    // may use the counters below but not Frames().
    bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs);
    std::vector<ReceivedFrame> Frames();
    size_t FrameCount() const { return m_cFrames; }
    int EventsA() const { return m_cA; }
    int EventsB() const { return m_cB; }
    int Markers() const { return m_cMarkers; }
    int BuffersInWait() const { return m_cInGetBuffer; }
    void Hold(bool hold) { m_bHold = hold; }
    void ReleaseHeld();
    // Wakes a GetBuffer blocked on an exhausted pool (as the filter's Decommit does).
    void ShutdownPool();
    void Clear();

private:
    CRef<IV77SamplePool> m_pPool;
    std::mutex m_Mutex;
    std::condition_variable m_Changed;
    std::vector<ReceivedFrame> m_Frames;
    std::vector<IMediaSample*> m_Held;
    std::atomic<bool> m_bHold{false};
    std::atomic<int> m_cA{0};
    std::atomic<int> m_cB{0};
    std::atomic<int> m_cMarkers{0};
    std::atomic<size_t> m_cFrames{0};
    std::atomic<int> m_cInGetBuffer{0};
};

// Index of each received frame's checksum in the reference, searching
// forward from the previous match (-1: not found, out of order or foreign).
std::vector<int> Identify(const std::vector<ReceivedFrame>& frames, const std::vector<Reference>& reference);

// A loopback port nobody listens on at the time of the call.
unsigned short FreePort(int type);

// ffmpeg's recorded RTP datagrams and its SDP, re-addressed to a free port.
class CRtpReplay {
public:
    explicit CRtpReplay(const std::string& name);
    ~CRtpReplay();
    const std::vector<std::vector<uint8_t>>& Datagrams() const { return m_Datagrams; }
    // The SDP, rewritten for this replay's port, as a file beside the inputs.
    const std::wstring& SdpPath() const { return m_SdpPath; }
    void Send(const std::vector<std::vector<uint8_t>>& datagrams, DWORD pauseEvery = 8);

private:
    std::vector<std::vector<uint8_t>> m_Datagrams;
    std::wstring m_SdpPath;
    unsigned short m_uPort;
    SOCKET m_Socket;
};

// A TCP server on a free loopback port that runs script on the first
// connection, on its own thread; stopped and joined by the destructor.
class CTcpPeer {
public:
    using Script = std::function<void(SOCKET peer, const std::atomic<bool>& stop)>;
    explicit CTcpPeer(Script script);
    ~CTcpPeer();
    std::wstring Address() const;
    unsigned short Port() const { return m_uPort; }

private:
    SOCKET m_Listen;
    unsigned short m_uPort;
    std::atomic<bool> m_bStop{false};
    std::thread m_Thread;
};

// Sends all bytes (blocking socket); false when the peer went away.
bool SendAll(SOCKET s, const uint8_t* data, size_t size);

// Creates a receiver by CLSID; asserts on failure.
CRef<IV77LiveReceiver> NewReceiver(REFCLSID clsid);

}  // namespace live

// COM (multithreaded) and Winsock for each test.
class LiveTest : public ComTest {
protected:
    void SetUp() override
    {
        ComTest::SetUp();
        WSADATA data;
        ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &data));
        ASSERT_TRUE(GetFileAttributesA(live::Input("ready").c_str()) != INVALID_FILE_ATTRIBUTES)
            << "inputs missing: run tests/live/make-inputs.py " << V77_LIVE_INPUTS;
    }
    void TearDown() override
    {
        WSACleanup();
        ComTest::TearDown();
    }
};
