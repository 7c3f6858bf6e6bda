#include "companions/components/avi/CV77AviReceiver.h"

#include <vfwmsgs.h>

#include <chrono>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace {

// Larger pictures than this are not what the filters expect from a file.
constexpr LONG kMaxDimension = 8192;

bool IsMpeg4Part2(DWORD fourcc)
{
    const DWORD upper = fourcc & 0xDFDFDFDF;  // FOURCCs are letters and digits: fold case
    for (const char* name : {"FMP4", "DIVX", "DX50", "XVID", "MP4V", "M4S2", "3IV2"}) {
        if (upper == (MAKEFOURCC(name[0], name[1], name[2], name[3]) & 0xDFDFDFDF))
            return true;
    }
    return false;
}

bool IsUncompressed(DWORD compression, WORD bitCount)
{
    if (compression == BI_RGB)
        return bitCount == 24 || bitCount == 32;
    return compression == MAKEFOURCC('Y', 'U', 'Y', '2') || compression == MAKEFOURCC('I', '4', '2', '0') ||
           compression == MAKEFOURCC('I', 'Y', 'U', 'V') || compression == MAKEFOURCC('Y', 'V', '1', '2');
}

std::string Narrow(BSTR text)
{
    std::string out;
    for (UINT i = 0; text && i < SysStringLen(text); ++i)
        out += text[i] < 128 ? static_cast<char>(text[i]) : '?';
    return out;
}

}  // namespace

CUnknown* CV77AviReceiver::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    if (outer) {
        *phr = CLASS_E_NOAGGREGATION;
        return nullptr;
    }
    auto* receiver = new (std::nothrow) CV77AviReceiver(phr);
    if (!receiver)
        *phr = E_OUTOFMEMORY;
    return receiver;
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
        Log("cannot open the AVI file '%s' (0x%08lX)\n", Narrow(source1).c_str(), static_cast<unsigned long>(hr));
        return hr;
    }
    hr = AVIFileGetStream(m_pFile, &m_pStream, streamtypeVIDEO, 0);
    if (FAILED(hr) || !m_pStream) {
        m_pStream = nullptr;
        Log("the AVI file '%s' has no video stream\n", Narrow(source1).c_str());
        return VFW_E_INVALID_FILE_FORMAT;
    }
    hr = Describe(info, mt);
    if (FAILED(hr))
        Log("the video stream of '%s' cannot be played (0x%08lX)\n", Narrow(source1).c_str(),
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
    if (streamInfo.dwRate == 0 || streamInfo.dwScale == 0 || m_lEnd <= m_lStart)
        return VFW_E_INVALID_FILE_FORMAT;
    LONG formatSize = 0;
    if (FAILED(AVIStreamReadFormat(m_pStream, m_lStart, nullptr, &formatSize)) ||
        formatSize < static_cast<LONG>(sizeof(BITMAPINFOHEADER)) || formatSize > (1 << 20))
        return VFW_E_INVALID_FILE_FORMAT;
    std::vector<BYTE> format(static_cast<size_t>(formatSize));
    hr = AVIStreamReadFormat(m_pStream, m_lStart, format.data(), &formatSize);
    if (FAILED(hr))
        return hr;
    const auto* bih = reinterpret_cast<const BITMAPINFOHEADER*>(format.data());
    if (bih->biWidth <= 0 || bih->biWidth > kMaxDimension || bih->biHeight == 0 ||
        bih->biHeight > kMaxDimension || bih->biHeight < -kMaxDimension)
        return VFW_E_INVALID_FILE_FORMAT;
    m_tFrame = static_cast<REFERENCE_TIME>(10000000.0 * streamInfo.dwScale / streamInfo.dwRate + 0.5);
    info->AvgTimePerFrame = m_tFrame;
    info->Width = bih->biWidth;
    info->Height = bih->biHeight;
    const BYTE* extra = nullptr;
    size_t extraSize = 0;
    if (IsMpeg4Part2(bih->biCompression)) {
        info->Compression = MAKEFOURCC('D', 'X', '5', '0');
        info->BitCount = 24;
        if (bih->biSize >= sizeof(BITMAPINFOHEADER) && static_cast<LONG>(bih->biSize) < formatSize) {
            extra = format.data() + bih->biSize;
            extraSize = static_cast<size_t>(formatSize) - bih->biSize;
        }
    } else if (IsUncompressed(bih->biCompression, bih->biBitCount)) {
        info->Compression = bih->biCompression;
        info->BitCount = bih->biBitCount;
    } else {
        return VFW_E_UNSUPPORTED_VIDEO;
    }
    return MakeMediaType(*info, extra, extraSize, mt);
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

bool CV77AviReceiver::PlayFrame(LONG position, bool discontinuity)
{
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
    properties.syncPoint = AVIStreamIsKeyFrame(m_pStream, position) != FALSE;
    properties.discontinuity = discontinuity;
    bool readFailed = false;
    StreamStarted();
    DeliverFrame(
        [&](BYTE* data, LONG capacity, LONG* written) {
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
        Pause(50);
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
