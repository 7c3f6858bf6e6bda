#include "tools/V77Host/AudioCommand.h"

#include <cstdio>
#include <strmif.h>
#include <wrl/client.h>
#include "tools/V77Host/CHostComApartment.h"
#include "tools/V77Host/CHostGraph.h"
#include "tools/V77Host/CHostProgress.h"
#include "tools/V77Host/DemoSteps.h"
#include "tools/V77Host/HostCli.h"
#include "v77/IV77Audio.h"
#include "v77/IV77Receivers.h"

using Microsoft::WRL::ComPtr;

namespace {

const char kUsage[] =
    "audio (--to PORT | --listen PORT) [options]\n"
    "Relays 16-bit PCM from UDP to TCP: UDP audio source -> audio mute -> TCP audio renderer,\n"
    "which sends every block through a TCP channel on 127.0.0.1 (framed as the TCP audio source\n"
    "reads it).\n"
    "  --to PORT              connect the channel to a listening peer on that port\n"
    "  --listen PORT          listen on that port (0: a free one, printed) for the peer\n"
    "  --udp-port PORT        the UDP port of the channel (default 47000 + channel)\n"
    "  --channel N            the UDP receiver's channel, 0-3 (default 0)\n"
    "  --mute                 send silence\n"
    "  --duration SECONDS     how long to relay (default 10)\n"
    "Exit codes: 0 relayed, 1 a call failed, 2 bad arguments.";

}  // namespace

int RunAudioCommand(int argc, char** argv)
{
    HostCommandSpec spec = {"audio", kUsage, {{"--to", true}, {"--listen", true}, {"--udp-port", true},
                                              {"--channel", true}, {"--mute", false}}, 0, 0, 10};
    HostCommandLine line;
    int code = ParseHostCommand(spec, argc, argv, &line);
    if (code >= 0)
        return code;
    CHostArgs& args = line.args;
    long to = 0, listen = -1, udpPort = 0, channel = 0;
    if (!args.Integer("--to", 1, 65535, &to) || !args.Integer("--listen", 0, 65535, &listen) ||
        !args.Integer("--udp-port", 1, 65535, &udpPort) || !args.Integer("--channel", 0, 3, &channel))
        return HostUsageError("audio", args.Error());
    if (args.Has("--to") == args.Has("--listen"))
        return HostUsageError("audio", "give one of --to PORT and --listen PORT");
    CHostComApartment com;
    if (FAILED(com.Result()))
        return HostFailure("audio", "CoInitializeEx", com.Result());
    CHostGraph graph;
    ComPtr<IBaseFilter> udp, mute, renderer;
    ComPtr<IV77DsUdpAudioSource> udpControl;
    ComPtr<IV77AudioMute> muteControl;
    ComPtr<IV77DsTCPAudioRenderer> rendererControl;
    ComPtr<IV77TCPChannel> tcp;
    ComPtr<IAMBufferNegotiation> negotiation;
    AM_MEDIA_TYPE mt = {};
    DWORD bound = 0;
    const char* step = "create the filter graph";
    HRESULT hr = graph.Create();
    auto next = [&](const char* what, const auto& call) {
        if (SUCCEEDED(hr)) {
            step = what;
            hr = call();
        }
    };
    next("create the UDP audio source", [&] { return CreateModuleFilter(CLSID_V77UdpAudioSource, udp); });
    next("create the audio mute", [&] { return CreateModuleFilter(CLSID_V77AudioMute, mute); });
    next("create the TCP audio renderer", [&] { return CreateModuleFilter(CLSID_V77TcpAudioRenderer, renderer); });
    next("create the TCP channel", [&] {
        return CoCreateInstance(CLSID_V77TcpChannel, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IV77TCPChannel),
                                reinterpret_cast<void**>(tcp.GetAddressOf()));
    });
    next("IV77DsUdpAudioSource", [&] { return udp.As(&udpControl); });
    next("IV77AudioMute", [&] { return mute.As(&muteControl); });
    next("IV77DsTCPAudioRenderer", [&] { return renderer.As(&rendererControl); });
    next("OpenChannel", [&] { return udpControl->OpenChannel(&mt, channel); });
    if (mt.pbFormat)
        CoTaskMemFree(mt.pbFormat);
    if (mt.pUnk)
        mt.pUnk->Release();
    if (udpPort)
        next("set the UDP port (UdpMethod16)", [&] { return udpControl->UdpMethod16(channel, udpPort); });
    next("IAMBufferNegotiation", [&] {
        return CHostGraph::Pin(udp.Get(), PINDIR_OUTPUT)
            ->QueryInterface(IID_IAMBufferNegotiation, reinterpret_cast<void**>(negotiation.GetAddressOf()));
    });
    next("SuggestAllocatorProperties", [&] {
        ALLOCATOR_PROPERTIES props = {16, 4096, 1, 0};  // a few datagrams' worth of PCM each
        return negotiation->SuggestAllocatorProperties(&props);
    });
    next("IV77AudioMute::SetMute", [&] { return muteControl->SetMute(args.Has("--mute") ? TRUE : FALSE); });
    if (args.Has("--to"))
        next("connect the TCP channel", [&] { return tcp->Connect(static_cast<DWORD>(to)); });
    else
        next("listen on the TCP channel", [&] { return tcp->Listen(static_cast<DWORD>(listen), &bound); });
    next("SetChannel", [&] { return rendererControl->SetChannel(tcp.Get()); });
    next("add the UDP audio source", [&] { return graph.Add(udp.Get(), L"Varnokel77 Audio source filter"); });
    next("add the audio mute", [&] { return graph.Add(mute.Get(), L"Varnokel77 Audio Mute"); });
    next("add the TCP audio renderer", [&] { return graph.Add(renderer.Get(), L"Varnokel77 TCP Audio renderer filter"); });
    next("connect the mute", [&] { return graph.Connect(udp.Get(), mute.Get()); });
    next("connect the renderer", [&] { return graph.Connect(mute.Get(), renderer.Get()); });
    next("Run", [&] { return graph.Run(); });
    if (FAILED(hr)) {
        if (tcp)
            tcp->Close();
        return HostFailure("audio", step, hr);
    }
    std::printf("audio: UDP channel %ld%s -> mute (%s) -> TCP 127.0.0.1:%lu (%s)\n", channel,
                udpPort ? (" on port " + std::to_string(udpPort)).c_str() : "", args.Has("--mute") ? "on" : "off",
                static_cast<unsigned long>(args.Has("--to") ? static_cast<DWORD>(to) : bound),
                args.Has("--to") ? "connected" : "listening");
    std::fflush(stdout);
    CHostProgress progress("audio");
    DWORD sent = 0, received = 0, dropped = 0;
    graph.PumpWhile(static_cast<DWORD>(line.durationSeconds * 1000), nullptr, [&] {
        tcp->GetStatistics(&sent, &received, &dropped);
        HostFigures figures;
        figures.frames = static_cast<long>(sent);
        figures.dropped = static_cast<long>(dropped);
        progress.Update(figures);
        return true;
    });
    graph.Stop();
    tcp->GetStatistics(&sent, &received, &dropped);
    tcp->Close();
    HostFigures figures;
    figures.frames = static_cast<long>(sent);
    figures.dropped = static_cast<long>(dropped);
    progress.Finish(figures);
    return kHostExitOk;
}
