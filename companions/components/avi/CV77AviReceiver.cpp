#include "companions/components/avi/CV77AviReceiver.h"
#include "companions/components/common/V77ComponentCreation.h"

#include <vfwmsgs.h>

#include <chrono>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "companions/components/archive/V77AviVideoFormat.h"
#include "companions/components/parsers/Mpeg4Headers.h"

CUnknown* CV77AviReceiver::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    return CreateUnaggregated(outer, phr, [&] { return new (std::nothrow) CV77AviReceiver(phr); });
}

CV77AviReceiver::CV77AviReceiver(HRESULT* phr) : CV77LiveReceiver(TEXT("V77 AVI receiver"), "V77AviReceiver", phr) {}

CV77AviReceiver::~CV77AviReceiver() { CloseStream(); }

STDMETHODIMP CV77AviReceiver::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IV77DsAviSource)
        return GetInterface(static_cast<IV77DsAviSource*>(this), ppv);
    return CV77LiveReceiver::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CV77AviReceiver::Configure(DWORD loop, DWORD pacing)
{
    m_bLoop = loop != 0;
    m_bPaced = pacing != 0;
    return S_OK;
}

HRESULT CV77AviReceiver::OpenStream(BSTR source1, BSTR, SOURCE_INFORMATION* info, CMediaType* mt)
{
    if (!source1 || !SysStringLen(source1))
        return E_INVALIDARG;
    AVIFileInit();
    m_bAviFileInit = true;
    HRESULT hr = AVIFileOpenW(&m_pFile, source1, OF_READ | OF_SHARE_DENY_WRITE, nullptr);
    if (FAILED(hr)) {
        m_pFile = nullptr;
        Log("cannot open the AVI file '%s' (0x%08lX)\n", NarrowText(source1).c_str(), static_cast<unsigned long>(hr));
        return hr;
    }
    hr = AVIFileGetStream(m_pFile, &m_pStream, streamtypeVIDEO, 0);
    if (FAILED(hr) || !m_pStream) {
        m_pStream = nullptr;
        Log("the AVI file '%s' has no video stream\n", NarrowText(source1).c_str());
        return VFW_E_INVALID_FILE_FORMAT;
    }
    hr = Describe(info, mt);
    if (FAILED(hr))
        Log("the video stream of '%s' cannot be played (0x%08lX)\n", NarrowText(source1).c_str(),
            static_cast<unsigned long>(hr));
    return hr;
}

HRESULT CV77AviReceiver::Describe(SOURCE_INFORMATION* info, CMediaType* mt)
{
    AVISTREAMINFOW streamInfo = {};
    HRESULT hr = AVIStreamInfoW(m_pStream, &streamInfo, sizeof streamInfo);
    if (FAILED(hr))
        return hr;
    m_lStart = AVIStreamStart(m_pStream);
    m_lEnd = m_lStart + AVIStreamLength(m_pStream);
    if (streamInfo.dwRate == 0 || streamInfo.dwScale == 0 || m_lEnd <= m_lStart || !InIndex(m_lStart))
        return VFW_E_INVALID_FILE_FORMAT;
    LONG formatSize = 0;
    if (FAILED(AVIStreamReadFormat(m_pStream, m_lStart, nullptr, &formatSize)) ||
        formatSize < static_cast<LONG>(sizeof(BITMAPINFOHEADER)) || formatSize > (1 << 20))
        return VFW_E_INVALID_FILE_FORMAT;
    std::vector<BYTE> format(static_cast<size_t>(formatSize));
    hr = AVIStreamReadFormat(m_pStream, m_lStart, format.data(), &formatSize);
    if (FAILED(hr))
        return hr;
    m_tFrame = static_cast<REFERENCE_TIME>(10000000.0 * streamInfo.dwScale / streamInfo.dwRate + 0.5);
    const auto* bih = reinterpret_cast<const BITMAPINFOHEADER*>(format.data());
    // Writers that keep the VOL in band put it in front of the first frame.
    std::vector<BYTE> inBand;
    if (IsMpeg4Part2Video(bih->biCompression) && formatSize == static_cast<LONG>(sizeof(BITMAPINFOHEADER)))
        inBand = ReadHeaders();
    hr = DescribeAviVideo(format, m_tFrame, info, mt, inBand);
    m_bMpeg4 = SUCCEEDED(hr) && info->Compression == MAKEFOURCC('D', 'X', '5', '0');
    return hr;
}

std::vector<BYTE> CV77AviReceiver::ReadHeaders()
{
    LONG needed = 0;
    if (FAILED(AVIStreamRead(m_pStream, m_lStart, 1, nullptr, 0, &needed, nullptr)) || needed <= 0 ||
        needed > (8 << 20))
        return {};
    std::vector<BYTE> frame(static_cast<size_t>(needed));
    LONG bytes = 0;
    if (FAILED(AVIStreamRead(m_pStream, m_lStart, 1, frame.data(), needed, &bytes, nullptr)))
        return {};
    frame.resize(static_cast<size_t>(bytes));
    for (size_t at = v77mpeg4::FindStartCode(frame.data(), frame.size(), 0); at + 4 <= frame.size();
         at = v77mpeg4::FindStartCode(frame.data(), frame.size(), at + 3)) {
        if (frame[at + 3] == v77mpeg4::kVop) {
            v77mpeg4::VolInfo vol;
            if (!v77mpeg4::FindVol(frame.data(), at, &vol))
                return {};
            frame.resize(at);
            return frame;
        }
    }
    return {};
}

void CV77AviReceiver::Stream()
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    using Clock = std::chrono::steady_clock;
    const auto frameTime = std::chrono::microseconds(m_tFrame / 10);
    LONG position = m_lStart;
    bool discontinuity = true;
    Clock::time_point due = Clock::now();
    while (!StopRequested()) {
        if (!IsStreaming()) {
            discontinuity = true;
            WaitForStreaming(100);
            due = Clock::now();
            continue;
        }
        if (m_bPaced) {
            const auto now = Clock::now();
            if (due > now) {
                const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count();
                if (!Pause(static_cast<DWORD>(wait)))
                    break;
            } else if (now - due > std::chrono::seconds(1)) {
                due = now;  // far behind (the filter held us up): do not race to catch up
            }
            due += frameTime;
        }
        if (!PlayFrame(position, discontinuity))
            break;
        if (StopRequested())
            break;
        discontinuity = false;
        if (++position < m_lEnd)
            continue;
        position = m_lStart;
        if (!m_bLoop) {
            StreamEnded("end of the AVI file");
            Idle();
            break;
        }
        DeliverMarker();
        discontinuity = true;
    }
    CoUninitialize();
}

bool CV77AviReceiver::InIndex(LONG position) const
{
    return AVIStreamFindSample(m_pStream, position, FIND_ANY | FIND_NEXT) == position;
}

bool CV77AviReceiver::PlayFrame(LONG position, bool discontinuity)
{
    if (!InIndex(position)) {
        StreamEnded("the AVI file's index ends before its stated length");
        Idle();
        return false;
    }
    LONG needed = 0;
    if (FAILED(AVIStreamRead(m_pStream, position, 1, nullptr, 0, &needed, nullptr))) {
        StreamEnded("cannot read the AVI file");
        Idle();
        return false;
    }
    // Empty chunks stand for repeated frames: nothing to hand out.
    if (needed <= 0)
        return true;
    V77FrameProperties properties;
    properties.start = CaptureTime();
    properties.stop = properties.start + m_tFrame;
    // The index's key frames; Wine's AVIFile reports only the first of an
    // ffmpeg file, so the frame's own bytes are asked too (below).
    properties.syncPoint = AVIStreamIsKeyFrame(m_pStream, position) != FALSE;
    properties.discontinuity = discontinuity;
    bool readFailed = false;
    StreamStarted();
    DeliverFrame(
        [&](BYTE* data, LONG capacity, LONG* written, V77FrameProperties* read) {
            if (needed > capacity) {
                Log("frame %ld of %ld bytes does not fit a %ld-byte sample; skipped\n", static_cast<long>(position),
                    static_cast<long>(needed), static_cast<long>(capacity));
                return false;
            }
            LONG bytes = 0;
            if (FAILED(AVIStreamRead(m_pStream, position, 1, data, capacity, &bytes, nullptr))) {
                readFailed = true;
                return false;
            }
            *written = bytes;
            if (!m_bMpeg4) {
                read->syncPoint = true;  // every uncompressed frame stands alone
            } else {
                v77mpeg4::VopInfo vop;
                if (v77mpeg4::FindVop(data, static_cast<size_t>(bytes), nullptr, &vop) &&
                    vop.codingType == v77mpeg4::kVopI)
                    read->syncPoint = true;
            }
            return true;
        },
        properties);
    if (readFailed && !StopRequested()) {
        StreamEnded("cannot read the AVI file");
        Idle();
        return false;
    }
    return true;
}

void CV77AviReceiver::Idle()
{
    while (!StopRequested())
        Pause(INFINITE);
}

void CV77AviReceiver::CloseStream()
{
    if (m_pStream)
        AVIStreamRelease(m_pStream);
    m_pStream = nullptr;
    if (m_pFile)
        AVIFileRelease(m_pFile);
    m_pFile = nullptr;
    if (m_bAviFileInit)
        AVIFileExit();
    m_bAviFileInit = false;
}
