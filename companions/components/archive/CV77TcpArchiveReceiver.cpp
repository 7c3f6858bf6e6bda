#include "companions/components/archive/CV77TcpArchiveReceiver.h"
#include "companions/components/common/V77ComponentCreation.h"

#include <vfwmsgs.h>

#include <algorithm>
#include <new>
#include <vector>

#include "companions/components/archive/V77AviVideoFormat.h"
#include "companions/components/recording/V77ArchiveProtocol.h"
#include "v77/V77Guids.h"

namespace P = V77ArchiveProtocol;

namespace {

HRESULT Garbage()
{
    return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
}

}  // namespace

CUnknown* CV77TcpArchiveReceiver::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    return CreateUnaggregated(outer, phr, [] { return new (std::nothrow) CV77TcpArchiveReceiver(); });
}

CV77TcpArchiveReceiver::CV77TcpArchiveReceiver()
    : CV77ArchiveReceiver(TEXT("V77 TCP archive receiver"), "V77TcpArchiveReceiver")
{
}

STDMETHODIMP CV77TcpArchiveReceiver::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IV77TcpReceiver)
        return GetInterface(static_cast<IV77TcpReceiver*>(this), ppv);
    return CV77ArchiveReceiver::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CV77TcpArchiveReceiver::Configure(DWORD, double, DWORD stallMs)
{
    m_dwStallMs = stallMs ? stallMs : kDefaultStallMs;
    return S_OK;
}

CV77ArchiveConnection::CancelFunction CV77TcpArchiveReceiver::Cancel() const
{
    return [this] { return ReadingAbandoned(); };
}

HRESULT CV77TcpArchiveReceiver::Failed(HRESULT hr, const char* what)
{
    m_Connection.Close();
    m_uPending = 0;
    if (hr == S_FALSE)
        return hr;  // given up on purpose: nothing to report
    if (hr == HRESULT_FROM_WIN32(WSAETIMEDOUT))
        Log("archive server %s stalled for %lu ms %s\n", m_Peer.c_str(), static_cast<unsigned long>(m_dwStallMs.load()),
            what);
    else if (hr == Garbage())
        Log("archive server %s answered garbage %s\n", m_Peer.c_str(), what);
    else
        Log("archive server %s: connection lost %s (0x%08lX)\n", m_Peer.c_str(), what, static_cast<unsigned long>(hr));
    return hr;
}

HRESULT CV77TcpArchiveReceiver::Ask(const std::vector<uint8_t>& request, void* header, size_t headerSize)
{
    // A connection left mid-stretch still carries the rest of that answer.
    if (m_uPending > 0)
        m_Connection.Close();
    m_uPending = 0;
    for (int attempt = 0;; ++attempt) {
        const bool reused = m_Connection.Connected();
        if (!reused) {
            const HRESULT hr = m_Connection.Connect(m_Peer, kConnectTimeoutMs);
            if (FAILED(hr)) {
                Log("cannot connect to archive server %s (0x%08lX)\n", m_Peer.c_str(), static_cast<unsigned long>(hr));
                return hr;
            }
        }
        HRESULT hr = m_Connection.Send(request.data(), request.size(), m_dwStallMs, Cancel());
        if (hr == S_OK)
            hr = m_Connection.Receive(header, headerSize, m_dwStallMs, Cancel());
        // A kept connection the server has since closed (it restarted) is tried once anew.
        if (hr == HRESULT_FROM_WIN32(WSAECONNRESET) && reused && attempt == 0)
            continue;
        return hr == S_OK ? S_OK : Failed(hr, "before answering");
    }
}

HRESULT CV77TcpArchiveReceiver::OpenRecording(BSTR source1, BSTR, SOURCE_INFORMATION* info, CMediaType* mt)
{
    m_Peer = NarrowText(source1);
    m_uFrames = 0;
    m_uPending = 0;
    m_Connection.Close();
    P::Request request;
    request.kind = P::kDescribe;
    std::vector<uint8_t> bytes;
    P::Encode(request, &bytes);
    uint8_t header[P::kDescribeSize];
    HRESULT hr = Ask(bytes, header, sizeof header);
    if (hr == E_INVALIDARG)
        Log("'%s' is not an archive server address (host:port)\n", m_Peer.c_str());
    if (hr != S_OK)
        return FAILED(hr) ? hr : E_FAIL;
    P::Description description;
    if (!P::Decode(header, sizeof header, &description))
        return Failed(Garbage(), "to describe");
    std::vector<BYTE> format(description.formatLength);
    hr = m_Connection.Receive(format.data(), format.size(), m_dwStallMs, nullptr);
    if (hr != S_OK)
        return Failed(hr, "while describing");
    hr = DescribeAviVideo(format, description.frameTime, info, mt);
    if (FAILED(hr)) {
        Log("archive server %s records video that cannot be played\n", m_Peer.c_str());
        return hr;
    }
    m_uFrames = description.frameCount;
    return S_OK;
}

void CV77TcpArchiveReceiver::CloseRecording()
{
    m_Connection.Close();
    m_uFrames = 0;
    m_uPending = 0;
}

HRESULT CV77TcpArchiveReceiver::BeginStretch(REFERENCE_TIME position, DWORD type, size_t maxFrames,
                                             V77Stretch* stretch)
{
    P::Request request;
    request.kind = P::kStretch;
    request.position = position;
    request.type = type == 2 || type == 3 ? type : 0;
    request.maxFrames = static_cast<uint32_t>(std::min<size_t>(maxFrames, P::kMaxStretchFrames));
    std::vector<uint8_t> bytes;
    P::Encode(request, &bytes);
    uint8_t header[P::kStretchSize];
    const HRESULT hr = Ask(bytes, header, sizeof header);
    if (hr != S_OK)
        return hr;
    P::StretchHeader answer;
    if (!P::Decode(header, sizeof header, request.maxFrames, &answer))
        return Failed(Garbage(), "to a stretch request");
    stretch->first = 0;
    stretch->count = answer.count;
    stretch->next = answer.next;
    m_uPending = answer.count;
    return S_OK;
}

HRESULT CV77TcpArchiveReceiver::ReadStretchFrame(const V77Stretch&, size_t, BYTE* data, LONG capacity,
                                                 StretchFrame* frame)
{
    uint8_t header[P::kFrameSize];
    HRESULT hr = m_Connection.Receive(header, sizeof header, m_dwStallMs, Cancel());
    if (hr != S_OK)
        return Failed(hr, "in the middle of a stretch");
    P::FrameHeader answer;
    if (!P::Decode(header, sizeof header, &answer))
        return Failed(Garbage(), "in the middle of a stretch");
    frame->time = answer.time;
    frame->duration = answer.duration;
    frame->key = answer.key;
    frame->written = 0;
    if (capacity < 0 || answer.size > static_cast<uint32_t>(capacity)) {
        hr = m_Connection.Skip(answer.size, m_dwStallMs, Cancel());
        if (hr != S_OK)
            return Failed(hr, "in the middle of a stretch");
        --m_uPending;
        return VFW_E_BUFFER_OVERFLOW;
    }
    hr = m_Connection.Receive(data, answer.size, m_dwStallMs, Cancel());
    if (hr != S_OK)
        return Failed(hr, "in the middle of a stretch");
    frame->written = static_cast<LONG>(answer.size);
    --m_uPending;
    return S_OK;
}
