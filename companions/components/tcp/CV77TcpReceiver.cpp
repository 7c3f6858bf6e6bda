#include "companions/components/tcp/CV77TcpReceiver.h"
#include "companions/components/common/V77ComponentCreation.h"

#include <vfwmsgs.h>

#include <cmath>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr DWORD kReceiveTimeoutMs = 50;
constexpr size_t kReadBytes = 64 * 1024;
constexpr REFERENCE_TIME kDefaultFrameTime = 400000;  // 25 frames a second

}  // namespace

CUnknown* CV77TcpReceiver::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    return CreateUnaggregated(outer, phr, [&] { return new (std::nothrow) CV77TcpReceiver(phr); });
}

CV77TcpReceiver::CV77TcpReceiver(HRESULT* phr) : CV77LiveReceiver(TEXT("V77 TCP receiver"), "V77TcpReceiver", phr) {}

STDMETHODIMP CV77TcpReceiver::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IV77TcpReceiver)
        return GetInterface(static_cast<IV77TcpReceiver*>(this), ppv);
    return CV77LiveReceiver::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CV77TcpReceiver::Configure(DWORD, double framesPerSecond, DWORD silenceMs)
{
    if (!(framesPerSecond >= 0.0 && framesPerSecond <= 1000.0))
        return E_INVALIDARG;
    m_dFramesPerSecond = framesPerSecond;
    m_dwSilenceMs = silenceMs ? silenceMs : kDefaultSilenceMs;
    return S_OK;
}

HRESULT CV77TcpReceiver::OpenStream(BSTR source1, BSTR, SOURCE_INFORMATION* info, CMediaType* mt)
{
    const std::string peer = NarrowText(source1);
    m_pWinsock.reset(new (std::nothrow) CV77WinsockInit());
    if (!m_pWinsock)
        return E_OUTOFMEMORY;
    if (FAILED(m_pWinsock->Result()))
        return m_pWinsock->Result();
    m_pSplitter.reset(new (std::nothrow) CV77Mpeg4EsSplitter(kMaxFrameBytes));
    if (!m_pSplitter)
        return E_OUTOFMEMORY;
    m_Early.clear();
    HRESULT hr = CV77Socket::Connect(peer, kConnectTimeoutMs, &m_Connection);
    if (FAILED(hr)) {
        Log("cannot connect to '%s' (0x%08lX)\n", peer.c_str(), static_cast<unsigned long>(hr));
        return hr;
    }
    hr = ReadHeaders();
    if (FAILED(hr))
        return hr;
    const Mpeg4EsFrame& first = m_Early.front();
    size_t vopAt = 0;
    for (size_t at = v77mpeg4::FindStartCode(first.data.data(), first.data.size(), 0); at + 4 <= first.data.size();
         at = v77mpeg4::FindStartCode(first.data.data(), first.data.size(), at + 3)) {
        if (first.data[at + 3] == v77mpeg4::kVop) {
            vopAt = at;
            break;
        }
    }
    const v77mpeg4::VolInfo& vol = m_pSplitter->Vol();
    m_tFrame = ChooseFrameTime();
    info->AvgTimePerFrame = m_tFrame;
    info->Width = static_cast<LONG>(vol.width);
    info->Height = static_cast<LONG>(vol.height);
    info->Compression = MAKEFOURCC('D', 'X', '5', '0');
    info->BitCount = 24;
    return MakeMediaType(*info, first.data.data(), vopAt, mt);
}

HRESULT CV77TcpReceiver::ReadHeaders()
{
    std::vector<uint8_t> buffer(kReadBytes);
    std::vector<Mpeg4EsFrame> frames;
    const DWORD start = GetTickCount();
    // Two frames give the frame time when the VOL has none.
    while (GetTickCount() - start < kHeaderWaitMs) {
        if (m_pSplitter->HaveVol() && m_Early.size() >= 2)
            return S_OK;
        const int got = m_Connection.ReceiveStream(buffer.data(), buffer.size(), kReceiveTimeoutMs);
        if (got < 0)
            break;
        m_pSplitter->Push(buffer.data(), static_cast<size_t>(got), &frames);
        for (Mpeg4EsFrame& frame : frames)
            m_Early.push_back(std::move(frame));
        frames.clear();
        while (m_Early.size() > kMaxEarlyFrames) {
            m_Early.pop_front();
            while (!m_Early.empty() && !m_Early.front().keyFrame)
                m_Early.pop_front();
        }
    }
    if (m_pSplitter->HaveVol() && !m_Early.empty())
        return S_OK;
    Log("no VOL header and key frame from the peer within %lu ms\n", static_cast<unsigned long>(kHeaderWaitMs));
    return VFW_E_INVALID_FILE_FORMAT;
}

REFERENCE_TIME CV77TcpReceiver::ChooseFrameTime() const
{
    const REFERENCE_TIME fixed = v77mpeg4::FrameDuration(m_pSplitter->Vol());
    if (fixed > 0)
        return fixed;
    const double fps = m_dFramesPerSecond;
    if (fps > 0.0)
        return static_cast<REFERENCE_TIME>(std::llround(10000000.0 / fps));
    if (m_Early.size() >= 2 && m_Early[0].time >= 0 && m_Early[1].time > m_Early[0].time)
        return static_cast<REFERENCE_TIME>(std::llround((m_Early[1].time - m_Early[0].time) * 10000000.0));
    return kDefaultFrameTime;
}

void CV77TcpReceiver::Stream()
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    std::vector<uint8_t> buffer(kReadBytes);
    std::vector<Mpeg4EsFrame> split;
    std::deque<Mpeg4EsFrame> frames;
    DWORD lastData = GetTickCount();
    bool ended = false;
    while (!StopRequested() && !ended) {
        if (!IsStreaming()) {
            WaitForStreaming(100);
            lastData = GetTickCount();
            continue;
        }
        if (!m_Early.empty()) {
            frames.swap(m_Early);
            if (!Deliver(&frames))
                break;
            continue;
        }
        const int got = m_Connection.ReceiveStream(buffer.data(), buffer.size(), kReceiveTimeoutMs);
        if (got < 0) {
            const size_t cut = m_pSplitter->Finish();
            if (cut)
                Log("the last %zu bytes from the peer were not a whole frame\n", cut);
            StreamEnded("the peer closed the connection");
            ended = true;
        } else if (got == 0) {
            if (GetTickCount() - lastData > m_dwSilenceMs) {
                StreamEnded("the peer sent nothing");
                ended = true;
            }
        } else {
            lastData = GetTickCount();
            m_pSplitter->Push(buffer.data(), static_cast<size_t>(got), &split);
            for (Mpeg4EsFrame& frame : split)
                frames.push_back(std::move(frame));
            split.clear();
            if (!Deliver(&frames))
                break;
        }
    }
    if (ended)
        Idle();
    CoUninitialize();
}

bool CV77TcpReceiver::Deliver(std::deque<Mpeg4EsFrame>* frames)
{
    while (!frames->empty()) {
        Mpeg4EsFrame frame = std::move(frames->front());
        frames->pop_front();
        const bool first = !IsFlowing();
        if (!IsStreaming() || (first && !frame.keyFrame))
            continue;
        V77FrameProperties properties;
        properties.start = CaptureTime();
        properties.stop = properties.start + m_tFrame;
        properties.syncPoint = frame.keyFrame;
        properties.discontinuity = first || frame.discontinuity;
        if (frame.discontinuity && !first)
            properties.typeSpecificFlags = V77_RECEIVER_STATUS_FRAMES_LOST;
        StreamStarted();
        DeliverFrame(frame.data.data(), frame.data.size(), properties);
        if (StopRequested())
            return false;
    }
    return true;
}

void CV77TcpReceiver::Idle()
{
    // The connection is gone; Close ends the thread.
    while (!StopRequested())
        Pause(50);
}

void CV77TcpReceiver::CloseStream()
{
    m_Connection.Close();
    m_pWinsock.reset();
    m_pSplitter.reset();
    m_Early.clear();
}
