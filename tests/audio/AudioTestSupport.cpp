#include <winsock2.h>

#include "tests/audio/AudioTestSupport.h"

#include <cstdlib>
#include <fstream>
#include <regex>

#include "tests/audio/CUnixPeer.h"
#include "tests/kit/TestGraph.h"

ComPtr<IBaseFilter> MakeFilter(CUnknown* (*create)(LPUNKNOWN, HRESULT*))
{
    HRESULT hr = S_OK;
    CUnknown* object = create(nullptr, &hr);
    ComPtr<IBaseFilter> filter;
    if (object && SUCCEEDED(hr))
        object->NonDelegatingQueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf()));
    else
        delete object;
    return filter;
}

ComPtr<IV77TCPChannel> MakeChannel()
{
    ComPtr<IV77TCPChannel> channel;
    CoCreateInstance(CLSID_V77TcpChannel, nullptr, CLSCTX_INPROC_SERVER, IID_IV77TCPChannel,
                     reinterpret_cast<void**>(channel.GetAddressOf()));
    return channel;
}

const std::string& TonePcmPath()
{
    static const std::string path = [] {
        const std::string dir = AudioWorkDir();
        const std::string out = dir + "/tone.pcm";
        RunUnix("ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=8000:duration=2 -f s16le -ac 1 " +
                dir + "/sine.pcm && ffmpeg -v error -y -f lavfi -i anoisesrc=color=pink:sample_rate=8000:"
                "duration=2:amplitude=0.3:seed=7 -f s16le -ac 1 " + dir + "/noise.pcm && cat " + dir + "/sine.pcm " +
                dir + "/noise.pcm > " + out);
        return out;
    }();
    return path;
}

std::string TonePcm()
{
    return ReadBinaryFile(TonePcmPath());
}

void WriteUnixFile(const std::string& path, const std::string& bytes)
{
    DeleteFileW(WinePath(path).c_str());   // an open for writing under Wine does not truncate
    std::ofstream out(WinePath(path).c_str(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

int FreeLoopbackPort(int type)
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET s = socket(AF_INET, type, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        int len = sizeof address;
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &len);
        port = ntohs(address.sin_port);
    }
    closesocket(s);
    WSACleanup();
    return port;
}

SoxStat MeasureWithSox(const std::string& pcmPath)
{
    SoxStat stat;
    const std::string report = pcmPath + ".sox";
    if (RunUnix("sox -t raw -r 8000 -e signed -b 16 -c 1 " + pcmPath + " -n stat 2> " + report) != 0)
        return stat;
    const std::string text = ReadTextFile(report);
    std::smatch m;
    if (std::regex_search(text, m, std::regex("RMS\\s+amplitude:\\s+([0-9.eE+-]+)")))
        stat.rms = std::atof(m[1].str().c_str());
    else
        return stat;
    if (std::regex_search(text, m, std::regex("Rough\\s+frequency:\\s+([0-9.eE+-]+)")))
        stat.frequency = std::atof(m[1].str().c_str());
    stat.valid = true;
    return stat;
}

ComPtr<IPin> OutputPin(IBaseFilter* filter)
{
    return TestGraph::FindPin(filter, PINDIR_OUTPUT);
}
