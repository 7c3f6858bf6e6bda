#include "companions/components/archive/CV77AviSegment.h"

#include <vfwmsgs.h>

#include "companions/components/parsers/Mpeg4Headers.h"

namespace {

// More frames than this in one segment is not a recording we wrote.
constexpr LONG kMaxFrames = 10000000;

bool IsUncompressed(DWORD compression)
{
    return compression == BI_RGB || compression == MAKEFOURCC('Y', 'U', 'Y', '2') ||
           compression == MAKEFOURCC('I', '4', '2', '0') || compression == MAKEFOURCC('I', 'Y', 'U', 'V') ||
           compression == MAKEFOURCC('Y', 'V', '1', '2');
}

}  // namespace

CV77AviSegment::CV77AviSegment() { AVIFileInit(); }

CV77AviSegment::~CV77AviSegment()
{
    if (m_pStream)
        AVIStreamRelease(m_pStream);
    if (m_pFile)
        AVIFileRelease(m_pFile);
    AVIFileExit();
}

HRESULT CV77AviSegment::Open(const std::wstring& path)
{
    HRESULT hr = AVIFileOpenW(&m_pFile, path.c_str(), OF_READ | OF_SHARE_DENY_WRITE, nullptr);
    if (FAILED(hr)) {
        m_pFile = nullptr;
        return hr;
    }
    hr = AVIFileGetStream(m_pFile, &m_pStream, streamtypeVIDEO, 0);
    if (FAILED(hr) || !m_pStream) {
        m_pStream = nullptr;
        return VFW_E_INVALID_FILE_FORMAT;
    }
    AVISTREAMINFOW info = {};
    hr = AVIStreamInfoW(m_pStream, &info, sizeof info);
    if (FAILED(hr))
        return hr;
    if (info.dwRate == 0 || info.dwScale == 0)
        return VFW_E_INVALID_FILE_FORMAT;
    m_tFrame = static_cast<REFERENCE_TIME>(10000000.0 * info.dwScale / info.dwRate + 0.5);
    m_lStart = AVIStreamStart(m_pStream);
    const LONG length = AVIStreamLength(m_pStream);
    if (length <= 0 || length > kMaxFrames)
        return VFW_E_INVALID_FILE_FORMAT;
    LONG formatSize = 0;
    if (FAILED(AVIStreamReadFormat(m_pStream, m_lStart, nullptr, &formatSize)) || formatSize <= 0 ||
        formatSize > (1 << 20))
        return VFW_E_INVALID_FILE_FORMAT;
    m_Format.resize(static_cast<size_t>(formatSize));
    hr = AVIStreamReadFormat(m_pStream, m_lStart, m_Format.data(), &formatSize);
    if (FAILED(hr))
        return hr;
    m_Frames.resize(static_cast<size_t>(length));
    for (LONG i = 0; i < length; ++i) {
        // A truncated file promises more frames in its header than its index
        // holds; Wine's AVIStreamRead asserts past the index, so stop there.
        if (AVIStreamFindSample(m_pStream, m_lStart + i, FIND_ANY | FIND_NEXT) < 0) {
            m_Frames.resize(static_cast<size_t>(i));
            break;
        }
        LONG bytes = 0;
        if (FAILED(AVIStreamRead(m_pStream, m_lStart + i, 1, nullptr, 0, &bytes, nullptr)) || bytes < 0)
            bytes = 0;  // unreadable: treated as an empty frame, left out of the index
        m_Frames[static_cast<size_t>(i)].size = static_cast<uint32_t>(bytes);
        m_Frames[static_cast<size_t>(i)].key = AVIStreamIsKeyFrame(m_pStream, m_lStart + i) != FALSE;
    }
    ClassifyKeyFrames();
    return S_OK;
}

void CV77AviSegment::ClassifyKeyFrames()
{
    // With AVIF_TRUSTCKTYPE in the header AVIFile takes key frames from the
    // chunk types, and ffmpeg writes every video chunk as "dc" (compressed):
    // then only the first frame looks like a key frame. Ask the pictures.
    size_t keys = 0;
    for (const V77SegmentFrame& frame : m_Frames)
        keys += frame.key ? 1 : 0;
    AVIFILEINFOW fileInfo = {};
    if (m_Frames.size() < 2 || keys > 1 || m_Format.size() < sizeof(BITMAPINFOHEADER) ||
        FAILED(AVIFileInfoW(m_pFile, &fileInfo, sizeof fileInfo)) || !(fileInfo.dwFlags & AVIFILEINFO_TRUSTCKTYPE))
        return;
    const DWORD compression = reinterpret_cast<const BITMAPINFOHEADER*>(m_Format.data())->biCompression;
    if (IsUncompressed(compression)) {
        for (V77SegmentFrame& frame : m_Frames)
            frame.key = frame.size > 0;
        return;
    }
    std::vector<BYTE> data;
    for (size_t i = 0; i < m_Frames.size(); ++i) {
        V77SegmentFrame& frame = m_Frames[i];
        if (frame.size == 0)
            continue;
        data.resize(frame.size);
        LONG bytes = 0;
        if (FAILED(AVIStreamRead(m_pStream, m_lStart + static_cast<LONG>(i), 1, data.data(),
                                 static_cast<LONG>(data.size()), &bytes, nullptr)))
            continue;
        v77mpeg4::VopInfo vop;
        if (v77mpeg4::FindVop(data.data(), static_cast<size_t>(bytes), nullptr, &vop))
            frame.key = vop.codingType == v77mpeg4::kVopI;
    }
}

HRESULT CV77AviSegment::Read(LONG position, BYTE* data, LONG capacity, LONG* written)
{
    *written = 0;
    if (!m_pStream || position < 0 || static_cast<size_t>(position) >= m_Frames.size())
        return E_INVALIDARG;
    if (static_cast<LONG>(m_Frames[static_cast<size_t>(position)].size) > capacity)
        return VFW_E_BUFFER_OVERFLOW;
    LONG bytes = 0;
    const HRESULT hr = AVIStreamRead(m_pStream, m_lStart + position, 1, data, capacity, &bytes, nullptr);
    if (FAILED(hr))
        return hr;
    // A frame the index promised that no longer reads: the file changed under us.
    if (bytes != static_cast<LONG>(m_Frames[static_cast<size_t>(position)].size))
        return VFW_E_INVALID_FILE_FORMAT;
    *written = bytes;
    return S_OK;
}
