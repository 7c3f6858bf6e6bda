#include "companions/components/archive/CV77AviSegment.h"

#include <vfwmsgs.h>

namespace {

// More frames than this in one segment is not a recording we wrote.
constexpr LONG kMaxFrames = 10000000;

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
        LONG bytes = 0;
        if (FAILED(AVIStreamRead(m_pStream, m_lStart + i, 1, nullptr, 0, &bytes, nullptr)) || bytes < 0)
            bytes = 0;  // unreadable: treated as an empty frame, left out of the index
        m_Frames[static_cast<size_t>(i)].size = static_cast<uint32_t>(bytes);
        m_Frames[static_cast<size_t>(i)].key = AVIStreamIsKeyFrame(m_pStream, m_lStart + i) != FALSE;
    }
    return S_OK;
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
