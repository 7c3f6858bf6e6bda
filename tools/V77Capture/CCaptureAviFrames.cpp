#include "tools/V77Capture/CCaptureAviFrames.h"

#include <vector>

CCaptureAviFrames::~CCaptureAviFrames()
{
    if (m_pStream)
        AVIStreamRelease(m_pStream);
    if (m_pFile)
        AVIFileRelease(m_pFile);
    if (m_bInit)
        AVIFileExit();
}

HRESULT CCaptureAviFrames::Open(const std::wstring& path, V77CaptureFormat* format, uint32_t* frameBytes)
{
    AVIFileInit();
    m_bInit = true;
    HRESULT hr = AVIFileOpenW(&m_pFile, path.c_str(), OF_READ | OF_SHARE_DENY_WRITE, nullptr);
    if (FAILED(hr))
        return hr;
    hr = AVIFileGetStream(m_pFile, &m_pStream, streamtypeVIDEO, 0);
    if (FAILED(hr))
        return hr;
    AVISTREAMINFOW info = {};
    hr = AVIStreamInfoW(m_pStream, &info, sizeof info);
    if (FAILED(hr))
        return hr;
    LONG size = 0;
    m_lStart = AVIStreamStart(m_pStream);
    hr = AVIStreamReadFormat(m_pStream, m_lStart, nullptr, &size);
    if (FAILED(hr) || size < static_cast<LONG>(sizeof(BITMAPINFOHEADER)))
        return FAILED(hr) ? hr : E_FAIL;
    std::vector<BYTE> block(size);
    hr = AVIStreamReadFormat(m_pStream, m_lStart, block.data(), &size);
    if (FAILED(hr))
        return hr;
    const auto* bih = reinterpret_cast<const BITMAPINFOHEADER*>(block.data());
    if (bih->biWidth <= 0 || bih->biHeight == 0 || info.dwRate == 0 || info.dwScale == 0)
        return E_FAIL;
    m_lEnd = m_lStart + AVIStreamLength(m_pStream);
    format->width = static_cast<uint32_t>(bih->biWidth);
    format->height = static_cast<uint32_t>(bih->biHeight < 0 ? -bih->biHeight : bih->biHeight);
    format->compression = bih->biCompression;
    format->bitCount = bih->biBitCount;
    format->frameTime = static_cast<int64_t>(10000000.0 * info.dwScale / info.dwRate);
    *frameBytes = bih->biSizeImage ? bih->biSizeImage
                                   : ((format->width * bih->biBitCount + 31) / 32) * 4 * format->height;
    return m_lEnd > m_lStart ? S_OK : E_FAIL;
}

uint32_t CCaptureAviFrames::Read(uint64_t frame, uint8_t* data, uint32_t capacity, bool* keyFrame)
{
    // A frame the tool dropped (no free slot) is skipped in the file too, as
    // a camera's picture moves on whether anybody took it or not.
    const LONG position = m_lStart + static_cast<LONG>(frame % static_cast<uint64_t>(m_lEnd - m_lStart));
    LONG bytes = 0;
    if (FAILED(AVIStreamRead(m_pStream, position, 1, data, static_cast<LONG>(capacity), &bytes, nullptr)))
        return 0;
    *keyFrame = AVIStreamIsKeyFrame(m_pStream, position) != FALSE;
    return bytes > 0 ? static_cast<uint32_t>(bytes) : 0;
}
