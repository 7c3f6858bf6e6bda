#include "companions/components/network/CV77NetworkReceiver.h"
#include "companions/components/common/V77ComponentCreation.h"

#include <vfwmsgs.h>

#include <new>
#include <string>
#include <vector>

#include "companions/components/parsers/CV77SdpReader.h"
#include "companions/components/parsers/Mpeg4Headers.h"

namespace {

// An SDP file is text of a few hundred bytes; anything this large is not one.
constexpr DWORD kMaxSdpBytes = 64 * 1024;
constexpr DWORD kReceiveTimeoutMs = 50;
// A key frame of a large picture arrives as a burst of datagrams.
constexpr int kReceiveBufferBytes = 8 << 20;

// A unicast address of this host is bound as given; a multicast or unknown
// one leaves the socket on every interface.
sockaddr_in LocalAddress(const std::string& address, unsigned short port)
{
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    in_addr parsed = {};
    if (!address.empty() && inet_pton(AF_INET, address.c_str(), &parsed) == 1 && (ntohl(parsed.s_addr) >> 28) != 0xE)
        local.sin_addr = parsed;
    return local;
}

HRESULT ReadSdpFile(BSTR path, std::string* text)
{
    if (!path || !SysStringLen(path))
        return E_INVALIDARG;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return HRESULT_FROM_WIN32(GetLastError());
    std::vector<char> buffer(kMaxSdpBytes + 1);
    DWORD read = 0;
    const BOOL ok = ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr);
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (!ok)
        return HRESULT_FROM_WIN32(error);
    if (read > kMaxSdpBytes)
        return VFW_E_INVALID_FILE_FORMAT;
    text->assign(buffer.data(), read);
    return S_OK;
}

}  // namespace

CUnknown* CV77NetworkReceiver::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    return CreateUnaggregated(outer, phr, [&] { return new (std::nothrow) CV77NetworkReceiver(phr); });
}

CV77NetworkReceiver::CV77NetworkReceiver(HRESULT* phr)
    : CV77LiveReceiver(TEXT("V77 network receiver"), "V77NetworkReceiver", phr)
{
}

HRESULT CV77NetworkReceiver::OpenStream(BSTR source1, BSTR, SOURCE_INFORMATION* info, CMediaType* mt)
{
    std::string text;
    HRESULT hr = ReadSdpFile(source1, &text);
    if (FAILED(hr)) {
        Log("cannot read the SDP file '%s' (0x%08lX)\n", NarrowText(source1).c_str(), static_cast<unsigned long>(hr));
        return hr;
    }
    CV77SdpReader sdp;
    if (!sdp.Parse(text.data(), text.size())) {
        Log("SDP file '%s': %s\n", NarrowText(source1).c_str(), sdp.Error().c_str());
        return VFW_E_INVALID_FILE_FORMAT;
    }
    const SdpVideoStream& stream = sdp.Stream();
    m_pWinsock.reset(new (std::nothrow) CV77WinsockInit());
    if (!m_pWinsock)
        return E_OUTOFMEMORY;
    if (FAILED(m_pWinsock->Result()))
        return m_pWinsock->Result();
    m_pDepacketizer.reset(new (std::nothrow) CV77Mpeg4Depacketizer(stream.payloadType, kMaxFrameBytes));
    if (!m_pDepacketizer)
        return E_OUTOFMEMORY;
    hr = CV77Socket::Bind(SOCK_DGRAM, LocalAddress(stream.address, stream.port), &m_Socket);
    if (SUCCEEDED(hr))
        m_Socket.SetBufferSize(SO_RCVBUF, kReceiveBufferBytes);
    if (FAILED(hr)) {
        Log("cannot bind UDP port %u on '%s' (0x%08lX)\n", stream.port, stream.address.c_str(),
            static_cast<unsigned long>(hr));
        return hr;
    }
    std::vector<uint8_t> config = stream.config;
    if (config.empty()) {
        hr = AwaitInBandConfig(&config);
        if (FAILED(hr))
            return hr;
    }
    v77mpeg4::VolInfo vol;
    if (!v77mpeg4::FindVol(config.data(), config.size(), &vol)) {
        Log("the decoder configuration holds no usable VOL header\n");
        return VFW_E_INVALID_FILE_FORMAT;
    }
    // A fixed VOP rate gives the frame time; senders that leave it out
    // usually count time in frames when the rate is a whole number.
    m_tFrame = v77mpeg4::FrameDuration(vol);
    if (!m_tFrame && vol.timeIncrementResolution <= 60)
        m_tFrame = 10000000 / vol.timeIncrementResolution;
    info->AvgTimePerFrame = m_tFrame;
    info->Width = static_cast<LONG>(vol.width);
    info->Height = static_cast<LONG>(vol.height);
    info->Compression = MAKEFOURCC('D', 'X', '5', '0');
    info->BitCount = 24;
    m_bLossPending = false;
    return MakeMediaType(*info, config.data(), config.size(), mt);
}

HRESULT CV77NetworkReceiver::AwaitInBandConfig(std::vector<uint8_t>* config)
{
    std::vector<uint8_t> datagram(65536);
    std::vector<Mpeg4Frame> frames;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < kConfigWaitMs) {
        const int got = m_Socket.ReceiveDatagram(datagram.data(), datagram.size(), kReceiveTimeoutMs);
        if (got < 0)
            return E_FAIL;
        if (got > 0)
            m_pDepacketizer->Push(datagram.data(), static_cast<size_t>(got), &frames);
        frames.clear();
        if (!m_pDepacketizer->InBandConfig().empty()) {
            *config = m_pDepacketizer->InBandConfig();
            return S_OK;
        }
    }
    Log("no config= in the SDP and no VOL header received within %lu ms\n", static_cast<unsigned long>(kConfigWaitMs));
    return VFW_E_TIMEOUT;
}

DWORD CV77NetworkReceiver::SilenceMs() const
{
    const REFERENCE_TIME t = TimeParameter();
    return t > 0 ? static_cast<DWORD>(t / 10000) : kDefaultSilenceMs;
}

void CV77NetworkReceiver::Stream()
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    std::vector<uint8_t> datagram(65536);
    std::vector<Mpeg4Frame> frames;
    DWORD lastPacket = GetTickCount();
    bool silent = false;
    while (!StopRequested()) {
        const int got = m_Socket.ReceiveDatagram(datagram.data(), datagram.size(), kReceiveTimeoutMs);
        if (got < 0) {
            StreamEnded("the UDP socket failed");
            break;
        }
        if (got == 0) {
            // A quiet network: stop waiting for packets that did not come.
            m_pDepacketizer->Flush(&frames);
            if (IsStreaming() && !silent && GetTickCount() - lastPacket > SilenceMs()) {
                silent = true;
                StreamEnded("no RTP packets");
            }
        } else {
            lastPacket = GetTickCount();
            silent = false;
            const uint64_t lost = m_pDepacketizer->Stats().lostPackets + m_pDepacketizer->Stats().oversizedFrames;
            m_pDepacketizer->Push(datagram.data(), static_cast<size_t>(got), &frames);
            if (m_pDepacketizer->Stats().lostPackets + m_pDepacketizer->Stats().oversizedFrames != lost)
                m_bLossPending = true;
        }
        if (!Deliver(&frames))
            break;
    }
    CoUninitialize();
}

bool CV77NetworkReceiver::Deliver(std::vector<Mpeg4Frame>* frames)
{
    std::vector<Mpeg4Frame> ready;
    ready.swap(*frames);
    for (Mpeg4Frame& frame : ready) {
        if (!IsStreaming())
            continue;
        // Every run of frames starts at a key frame.
        const bool first = !IsFlowing();
        if (first && !frame.keyFrame)
            continue;
        V77FrameProperties properties;
        properties.start = CaptureTime();
        properties.stop = properties.start + m_tFrame;
        properties.syncPoint = frame.keyFrame;
        properties.discontinuity = first || frame.discontinuity;
        if (frame.discontinuity && m_bLossPending)
            properties.typeSpecificFlags = V77_RECEIVER_STATUS_FRAMES_LOST;
        m_bLossPending = false;
        StreamStarted();
        DeliverFrame(frame.data.data(), frame.data.size(), properties);
        // Close may have come meanwhile; it frees the members.
        if (StopRequested())
            return false;
    }
    return true;
}

void CV77NetworkReceiver::CloseStream()
{
    m_Socket.Close();
    m_pWinsock.reset();
    m_pDepacketizer.reset();
}
