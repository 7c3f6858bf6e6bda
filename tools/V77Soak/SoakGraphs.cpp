#include "tools/V77Soak/SoakGraphs.h"

#include <cstdio>
#include <vector>

#include "tools/common/CV77LiveRecordGraph.h"
#include "tools/common/V77GraphPins.h"
#include "tools/common/V77Loopback.h"
#include "v77/IV77Audio.h"
#include "v77/IV77DsBuffer.h"
#include "v77/IV77DsSource.h"
#include "v77/IV77DxRenderer.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

namespace {

HRESULT Check(HRESULT hr, const char* what)
{
    if (FAILED(hr))
        std::printf("  %s failed: 0x%08lX\n", what, static_cast<unsigned long>(hr));
    return hr;
}

HRESULT GdiRenderer(HWND window, ComPtr<IBaseFilter>& renderer)
{
    ComPtr<IV77DxRenderer> display;
    HRESULT hr = V77CreateFilter(CLSID_V77WindowsRenderer, renderer);
    if (SUCCEEDED(hr))
        hr = renderer.As(&display);
    if (SUCCEEDED(hr))
        hr = display->SetWindow(window);
    return hr;
}

HRESULT SetRects(IBaseFilter* renderer)
{
    ComPtr<IV77DxRenderer> display;
    HRESULT hr = renderer->QueryInterface(__uuidof(IV77DxRenderer), reinterpret_cast<void**>(display.GetAddressOf()));
    return SUCCEEDED(hr) ? display->SetRects(nullptr, nullptr, nullptr) : hr;
}

}  // namespace

#define SOAK_CHECK(call) \
    do { \
        const HRESULT hr_ = Check((call), #call); \
        if (FAILED(hr_)) \
            return hr_; \
    } while (0)

HRESULT BuildLiveAvi(CSoakGraph& g, const std::wstring& avi, HWND window, LONG bufferCount)
{
    ComPtr<IBaseFilter> source, buffer, renderer;
    ComPtr<IV77DsNetworkSource> live;
    ComPtr<IV77DsAviSource> file;
    ComPtr<IV77DsBuffer> control;
    SOAK_CHECK(g.Create());
    SOAK_CHECK(V77CreateFilter(CLSID_V77DsAviSource, source));
    SOAK_CHECK(V77CreateFilter(CLSID_V77DsBufferFilter, buffer));
    SOAK_CHECK(GdiRenderer(window, renderer));
    SOAK_CHECK(source.As(&live));
    SOAK_CHECK(source.As(&file));
    SOAK_CHECK(buffer.As(&control));
    BSTR name = SysAllocString(avi.c_str());
    SOURCE_INFORMATION info = {};
    const HRESULT opened = live->Open(name, nullptr, 0, 0, 0, &info);
    SysFreeString(name);
    SOAK_CHECK(opened);
    SOAK_CHECK(file->Configure(1, 1));
    SOAK_CHECK(live->EnableDisplayNotification(TRUE));
    SOAK_CHECK(control->CreateQueue(V77_QUEUE_STANDARD, 0, nullptr));
    if (bufferCount > 0)
        SOAK_CHECK(control->SetBufferCount(bufferCount));
    SOAK_CHECK(g.Add(source.Get(), L"AVI file source"));
    SOAK_CHECK(g.Add(buffer.Get(), L"buffer"));
    SOAK_CHECK(g.Add(renderer.Get(), L"GDI renderer"));
    SOAK_CHECK(g.Connect(source.Get(), 0, buffer.Get()));
    SOAK_CHECK(g.Connect(buffer.Get(), 0, renderer.Get()));
    return Check(SetRects(renderer.Get()), "SetRects");
}

HRESULT BuildCamera(CSoakGraph& g, const std::wstring& sdp, bool record, ComPtr<IV77DsAviFileRenderer>* file)
{
    CV77LiveRecordGraph camera;
    ComPtr<IBaseFilter> renderer;
    SOAK_CHECK(g.Create());
    SOAK_CHECK(V77CreateFilter(CLSID_V77DsAviFileRenderer, renderer));
    SOAK_CHECK(camera.Open(sdp));
    SOAK_CHECK(camera.Live()->EnableDisplayNotification(TRUE));
    V77LiveChain chain;
    chain.queue = false;  // the primary output straight into a renderer without a file
    chain.record = record;
    SOAK_CHECK(camera.Connect(g.Graph(), renderer.Get(), chain));
    if (record && file)
        *file = camera.Recorder();
    return S_OK;
}

HRESULT BuildPlayback(CSoakGraph& g, const std::wstring& store, const HWND windows[3], CV77PlaybackGroup& group,
                      const CLSID& sourceClass)
{
    group.SetSourceClass(sourceClass);
    SOAK_CHECK(g.Create());
    std::vector<ComPtr<IBaseFilter>> renderers(3);
    std::vector<IBaseFilter*> views;
    for (int i = 0; i < 3; ++i) {
        SOAK_CHECK(GdiRenderer(windows[i], renderers[i]));
        views.push_back(renderers[i].Get());
    }
    SOAK_CHECK(group.Build(g.Graph(), store, views));
    for (auto& r : renderers)
        SOAK_CHECK(SetRects(r.Get()));
    return S_OK;
}

HRESULT BuildAudio(CSoakGraph& g, SoakAudio& audio)
{
    ComPtr<IBaseFilter> udp, mute, renderer;
    ComPtr<IV77DsUdpAudioSource> control;
    ComPtr<IV77DsTCPAudioRenderer> output;
    ComPtr<IV77TCPChannel> sender;
    SOAK_CHECK(g.Create());
    SOAK_CHECK(V77CreateFilter(CLSID_V77UdpAudioSource, udp));
    SOAK_CHECK(V77CreateFilter(CLSID_V77AudioMute, mute));
    SOAK_CHECK(V77CreateFilter(CLSID_V77TcpAudioRenderer, renderer));
    SOAK_CHECK(CoCreateInstance(CLSID_V77TcpChannel, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IV77TCPChannel),
                                reinterpret_cast<void**>(audio.listener.ReleaseAndGetAddressOf())));
    SOAK_CHECK(CoCreateInstance(CLSID_V77TcpChannel, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IV77TCPChannel),
                                reinterpret_cast<void**>(sender.GetAddressOf())));
    DWORD port = 0;
    SOAK_CHECK(audio.listener->Listen(0, &port));
    SOAK_CHECK(sender->Connect(port));
    SOAK_CHECK(udp.As(&control));
    SOAK_CHECK(renderer.As(&output));
    AM_MEDIA_TYPE mt = {};
    SOAK_CHECK(control->OpenChannel(&mt, 0));
    CoTaskMemFree(mt.pbFormat);
    if (mt.pUnk)
        mt.pUnk->Release();
    audio.udpPort = V77FreeLoopbackPort(SOCK_DGRAM);
    SOAK_CHECK(control->UdpMethod16(0, audio.udpPort));
    SOAK_CHECK(output->SetChannel(sender.Get()));
    g.Keep(sender.Get());
    SOAK_CHECK(g.Add(udp.Get(), L"UDP audio source"));
    SOAK_CHECK(g.Add(mute.Get(), L"mute"));
    SOAK_CHECK(g.Add(renderer.Get(), L"TCP audio renderer"));
    SOAK_CHECK(g.Connect(udp.Get(), 0, mute.Get()));
    SOAK_CHECK(g.Connect(mute.Get(), 0, renderer.Get()));
    return S_OK;
}

void SoakAudio::Send(int count) const
{
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(udpPort);
    std::vector<char> pcm(320);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<char>(i * 7);
    for (int i = 0; i < count; ++i)
        sendto(s, pcm.data(), static_cast<int>(pcm.size()), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    closesocket(s);
}
