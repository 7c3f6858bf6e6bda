// Audio transport and stream server figures, each against a plain socket
// copy measured in the same run:
//   latency   one 320-byte datagram: UDP -> UDP audio source -> audio mute ->
//             TCP audio renderer -> TCP channel -> TCP reader, against a relay
//             thread doing recvfrom -> send on plain sockets (median of 300)
//   CPU       process CPU time per second of audio carried by that chain,
//             against the relay, for 30 s of 8 kHz 16-bit audio sent at speed
//   stream    stream server throughput to 1, 4 and 16 loopback clients
//             (network renderer PushSample of 16 KiB frames), against one
//             thread writing the same frames to as many plain sockets
#include <winsock2.h>
#include <windows.h>
#include <strmif.h>
#include <uuids.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>
#include <wrl/client.h>

#include "audio/CAudioMuteFilter.h"
#include "audio/CV77TcpAudioRendererFilter.h"
#include "audio/CV77UdpAudioSourceFilter.h"
#include "framework/CMediaSample.h"
#include "sinks/CV77DsNetworkRendererFilter.h"
#include "tests/kit/CComInit.h"
#include "tests/kit/TestGraph.h"
#include "v77/V77Interfaces.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr int kDatagram = 320;
constexpr int kLatencyRounds = 300;
constexpr int kCpuSeconds = 30;            // seconds of audio for the CPU figure
constexpr int kStreamFrame = 16 * 1024;
constexpr DWORD kStreamMs = 1500;          // sending time per throughput figure

double Now()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double ProcessCpuSeconds()
{
    FILETIME create, exit, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &create, &exit, &kernel, &user);
    auto seconds = [](const FILETIME& f) {
        return (static_cast<double>(f.dwHighDateTime) * 4294967296.0 + f.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

sockaddr_in Loopback(int port)
{
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<u_short>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

int BoundPort(SOCKET s)
{
    sockaddr_in a = {};
    int len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

SOCKET Listener(int* port)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(0);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(s, 64);
    *port = BoundPort(s);
    return s;
}

SOCKET Connect(int port)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(port);
    connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    return s;
}

int FreeUdpPort()
{
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a = Loopback(0);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    const int port = BoundPort(s);
    closesocket(s);
    return port;
}

// Reads exactly n bytes (or fails after 2 s).
bool ReadExact(SOCKET s, char* buffer, int n)
{
    int got = 0;
    const double deadline = Now() + 2.0;
    while (got < n) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s, &set);
        timeval tv = {0, 100000};
        if (select(0, &set, nullptr, nullptr, &tv) <= 0) {
            if (Now() > deadline)
                return false;
            continue;
        }
        const int r = recv(s, buffer + got, n - got, 0);
        if (r <= 0)
            return false;
        got += r;
    }
    return true;
}

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// One audio path under test: where to send datagrams, and the TCP socket the
// payload arrives on with `header` bytes in front of each datagram's bytes.
struct AudioPath {
    int udpPort = 0;
    SOCKET reader = INVALID_SOCKET;
    int header = 0;
};

struct AudioFigures {
    double latencyUs = 0;
    double cpuMsPerAudioSecond = 0;
    double audioSeconds = 0;
    bool ok = false;
};

AudioFigures MeasureAudio(const AudioPath& path)
{
    AudioFigures f;
    SOCKET sender = socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in to = Loopback(path.udpPort);
    std::vector<char> datagram(kDatagram, 1);
    std::vector<char> incoming(path.header + kDatagram);
    std::vector<double> latencies;
    for (int i = 0; i < kLatencyRounds; ++i) {
        std::memcpy(datagram.data(), &i, sizeof i);
        const double t0 = Now();
        sendto(sender, datagram.data(), kDatagram, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        if (!ReadExact(path.reader, incoming.data(), static_cast<int>(incoming.size()))) {
            closesocket(sender);
            return f;
        }
        latencies.push_back((Now() - t0) * 1e6);
    }
    f.latencyUs = Median(latencies);

    // CPU: 30 s of audio faster than real time, in bursts of 5 datagrams; the
    // figure divides by the audio that arrived, so UDP losses on a busy machine
    // lower the sample, not the figure.
    std::atomic<long long> received{0};
    std::atomic<bool> done{false};
    std::thread drain([&] {
        std::vector<char> buffer(64 * 1024);
        while (!done) {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(path.reader, &set);
            timeval tv = {0, 50000};
            if (select(0, &set, nullptr, nullptr, &tv) <= 0)
                continue;
            const int r = recv(path.reader, buffer.data(), static_cast<int>(buffer.size()), 0);
            if (r <= 0)
                break;
            received += r;
        }
    });
    const int datagrams = kCpuSeconds * 16000 / kDatagram;
    const double cpu0 = ProcessCpuSeconds();
    for (int i = 0; i < datagrams; ++i) {
        sendto(sender, datagram.data(), kDatagram, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        if (i % 5 == 4)
            Sleep(1);
    }
    Sleep(300);
    const double cpu = ProcessCpuSeconds() - cpu0;
    done = true;
    drain.join();
    closesocket(sender);
    const double payload = static_cast<double>(received) * kDatagram / (kDatagram + path.header);
    f.audioSeconds = payload / 16000.0;
    f.cpuMsPerAudioSecond = f.audioSeconds > 0 ? cpu * 1000.0 / f.audioSeconds : 0;
    f.ok = f.audioSeconds > kCpuSeconds * 0.25;
    return f;
}

AudioFigures MeasureRelay()
{
    SOCKET udp = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a = Loopback(0);
    bind(udp, reinterpret_cast<sockaddr*>(&a), sizeof a);
    int receiveBuffer = 1 << 20;   // as the chain's channel gets through UdpMethod17
    setsockopt(udp, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBuffer), sizeof receiveBuffer);
    int port = 0;
    SOCKET listener = Listener(&port);
    AudioPath path;
    path.udpPort = BoundPort(udp);
    path.reader = Connect(port);
    SOCKET out = accept(listener, nullptr, nullptr);
    BOOL on = TRUE;
    setsockopt(out, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    std::atomic<bool> stop{false};
    std::thread relay([&] {
        char buffer[2048];
        while (!stop) {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(udp, &set);
            timeval tv = {0, 50000};
            if (select(0, &set, nullptr, nullptr, &tv) <= 0)
                continue;
            const int n = recv(udp, buffer, sizeof buffer, 0);
            if (n > 0)
                send(out, buffer, n, 0);
        }
    });
    AudioFigures f = MeasureAudio(path);
    stop = true;
    relay.join();
    closesocket(out);
    closesocket(path.reader);
    closesocket(listener);
    closesocket(udp);
    return f;
}

AudioFigures MeasureChain()
{
    AudioFigures failed;
    HRESULT hr = S_OK;
    ComPtr<IBaseFilter> udp, mute, renderer;
    CV77UdpAudioSourceFilter::CreateInstance(nullptr, &hr)->NonDelegatingQueryInterface(
        IID_IBaseFilter, reinterpret_cast<void**>(udp.GetAddressOf()));
    CAudioMuteFilter::CreateInstance(nullptr, &hr)->NonDelegatingQueryInterface(
        IID_IBaseFilter, reinterpret_cast<void**>(mute.GetAddressOf()));
    CV77TcpAudioRendererFilter::CreateInstance(nullptr, &hr)->NonDelegatingQueryInterface(
        IID_IBaseFilter, reinterpret_cast<void**>(renderer.GetAddressOf()));
    ComPtr<IV77DsUdpAudioSource> control;
    udp.As(&control);
    AM_MEDIA_TYPE mt = {};
    if (FAILED(control->OpenChannel(&mt, 0)))
        return failed;
    FreeMediaType(mt);
    AudioPath path;
    path.udpPort = FreeUdpPort();
    path.header = 32;
    control->UdpMethod16(0, static_cast<DWORD>(path.udpPort));
    control->UdpMethod17(0, 1 << 20);
    ComPtr<IAMBufferNegotiation> negotiation;
    TestGraph::FindPin(udp.Get(), PINDIR_OUTPUT).As(&negotiation);
    ALLOCATOR_PROPERTIES props = {32, kDatagram, 1, 0};   // one datagram per buffer: no packing delay
    negotiation->SuggestAllocatorProperties(&props);

    int port = 0;
    SOCKET listener = Listener(&port);
    ComPtr<IV77TCPChannel> channel;
    CoCreateInstance(CLSID_V77TcpChannel, nullptr, CLSCTX_INPROC_SERVER, IID_IV77TCPChannel,
                     reinterpret_cast<void**>(channel.GetAddressOf()));
    if (!channel || FAILED(channel->Connect(static_cast<DWORD>(port))))
        return failed;
    path.reader = accept(listener, nullptr, nullptr);
    ComPtr<IV77DsTCPAudioRenderer> rendererControl;
    renderer.As(&rendererControl);
    rendererControl->SetChannel(channel.Get());

    TestGraph graph;
    graph.Create();
    graph.Add(udp.Get(), L"udp");
    graph.Add(mute.Get(), L"mute");
    graph.Add(renderer.Get(), L"tcp");
    if (FAILED(graph.ConnectFilters(udp.Get(), mute.Get())) || FAILED(graph.ConnectFilters(mute.Get(), renderer.Get())))
        return failed;
    graph.RunAndWait();
    AudioFigures f = MeasureAudio(path);
    graph.StopAndWait();
    channel->Close();
    closesocket(path.reader);
    closesocket(listener);
    return f;
}

// Bytes per second that `clients` readers receive while frames are offered for kStreamMs.
double Throughput(int clients, const std::function<void()>& sendOne, const std::vector<SOCKET>& readers)
{
    std::atomic<long long> received{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (SOCKET s : readers) {
        threads.emplace_back([&, s] {
            std::vector<char> buffer(256 * 1024);
            while (!stop) {
                fd_set set;
                FD_ZERO(&set);
                FD_SET(s, &set);
                timeval tv = {0, 20000};
                if (select(0, &set, nullptr, nullptr, &tv) <= 0)
                    continue;
                const int r = recv(s, buffer.data(), static_cast<int>(buffer.size()), 0);
                if (r <= 0)
                    break;
                received += r;
            }
        });
    }
    const double t0 = Now();
    while ((Now() - t0) * 1000 < kStreamMs)
        sendOne();
    const double elapsed = Now() - t0;
    Sleep(200);
    stop = true;
    for (auto& t : threads)
        t.join();
    (void)clients;
    return static_cast<double>(received) / elapsed;
}

double StreamServerThroughput(int clients, DWORD* dropped)
{
    HRESULT hr = S_OK;
    CUnknown* object = CV77DsNetworkRendererFilter::CreateInstance(nullptr, &hr);
    ComPtr<IV77DsNetworkRenderer> renderer;
    object->NonDelegatingQueryInterface(IID_IV77DsNetworkRenderer, reinterpret_cast<void**>(renderer.GetAddressOf()));
    ComPtr<IV77StreamServer> server;
    CoCreateInstance(CLSID_V77StreamServer, nullptr, CLSCTX_INPROC_SERVER, IID_IV77StreamServer,
                     reinterpret_cast<void**>(server.GetAddressOf()));
    if (!server || FAILED(renderer->Publish(0, 64, server.Get())))
        return 0;
    DWORD port = 0;
    server->GetPort(&port);
    std::vector<SOCKET> readers;
    for (int i = 0; i < clients; ++i)
        readers.push_back(Connect(static_cast<int>(port)));
    DWORD count = 0;
    for (int i = 0; i < 200 && (server->GetClientCount(&count), count) < static_cast<DWORD>(clients); ++i)
        Sleep(10);
    std::vector<BYTE> data(kStreamFrame, 7);
    CMediaSample sample("frame", nullptr, &hr, data.data(), kStreamFrame);
    sample.SetActualDataLength(kStreamFrame);
    sample.SetSyncPoint(TRUE);
    const double rate = Throughput(clients, [&] { renderer->PushSample(&sample); }, readers);
    server->GetStatistics(nullptr, dropped);
    server->Revoke();
    for (SOCKET s : readers)
        closesocket(s);
    return rate;
}

double PlainCopyThroughput(int clients)
{
    int port = 0;
    SOCKET listener = Listener(&port);
    std::vector<SOCKET> readers, writers;
    for (int i = 0; i < clients; ++i) {
        readers.push_back(Connect(port));
        writers.push_back(accept(listener, nullptr, nullptr));
    }
    std::vector<char> frame(kStreamFrame + 32, 7);
    const double rate = Throughput(clients, [&] {
        for (SOCKET w : writers)
            send(w, frame.data(), static_cast<int>(frame.size()), 0);
    }, readers);
    for (SOCKET s : writers)
        closesocket(s);
    for (SOCKET s : readers)
        closesocket(s);
    closesocket(listener);
    return rate;
}

}  // namespace

int main()
{
    CComInit com;
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    int rc = 0;

    std::printf("audio_bench: 320-byte datagrams of 8 kHz 16-bit mono PCM on 127.0.0.1\n");
    const AudioFigures relay = MeasureRelay();
    const AudioFigures chain = MeasureChain();
    if (!relay.ok || !chain.ok) {
        std::printf("audio: FAILED (relay %s, chain %s; audio carried %.1f s / %.1f s)\n", relay.ok ? "ok" : "failed",
                    chain.ok ? "ok" : "failed", relay.audioSeconds, chain.audioSeconds);
        rc = 1;
    } else {
        std::printf("latency, one datagram to the TCP reader (median of %d):\n", kLatencyRounds);
        std::printf("  plain socket relay        %8.1f us\n", relay.latencyUs);
        std::printf("  UDP source->mute->TCP     %8.1f us   ratio %.2f x the relay\n", chain.latencyUs,
                    chain.latencyUs / relay.latencyUs);
        std::printf("CPU per second of audio (%.1f s of %d s carried by the chain, %.1f s by the relay):\n",
                    chain.audioSeconds, kCpuSeconds, relay.audioSeconds);
        std::printf("  plain socket relay        %8.3f ms\n", relay.cpuMsPerAudioSecond);
        std::printf("  UDP source->mute->TCP     %8.3f ms   ratio %.2f x the relay\n", chain.cpuMsPerAudioSecond,
                    chain.cpuMsPerAudioSecond / std::max(relay.cpuMsPerAudioSecond, 1e-9));
    }

    std::printf("stream server, %d-byte frames for %lu ms (MB/s received by all clients together):\n", kStreamFrame,
                kStreamMs);
    for (int clients : {1, 4, 16}) {
        DWORD dropped = 0;
        const double server = StreamServerThroughput(clients, &dropped);
        const double plain = PlainCopyThroughput(clients);
        if (server <= 0 || plain <= 0) {
            std::printf("  %2d clients: FAILED\n", clients);
            rc = 1;
            continue;
        }
        std::printf("  %2d clients: server %8.1f MB/s   plain copy %8.1f MB/s   ratio %.2f   (server dropped %lu "
                    "queued frames of clients behind)\n",
                    clients, server / 1e6, plain / 1e6, server / plain, dropped);
    }
    WSACleanup();
    return rc;
}
