#include "sinks/CV77DsAviFileRendererFilter.h"

#include <cwchar>
#include <uuids.h>

#include "companions/V77Media/V77Media.h"
#include "framework/CAutoLock.h"
#include "v77/V77Guids.h"

CV77DsAviFileRendererFilter::CV77DsAviFileRendererFilter(const char* name, LPUNKNOWN outer, HRESULT* phr)
    : CBaseRenderer(CLSID_V77DsAviFileRenderer, TEXT("Varnokel77 Avi file renderer filter"), outer, phr),
      m_pFile(nullptr),
      m_pStream(nullptr),
      m_FrameCount(0)
{
    (void)name;
    AVIFileInit();
}

CV77DsAviFileRendererFilter::~CV77DsAviFileRendererFilter()
{
    Close();
    AVIFileExit();
}

STDMETHODIMP CV77DsAviFileRendererFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IV77DsAviFileRenderer)
        return GetInterface(static_cast<IV77DsAviFileRenderer*>(this), ppv);
    return CBaseRenderer::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CV77DsAviFileRendererFilter::CheckMediaType(const CMediaType* mt)
{
    return mt && *mt->Type() == MEDIATYPE_Video ? S_OK : S_FALSE;
}

HRESULT CV77DsAviFileRendererFilter::SetMediaType(const CMediaType* mt)
{
    if (!mt)
        return E_POINTER;
    return m_MediaType.Set(*mt);
}

HRESULT CV77DsAviFileRendererFilter::ShouldDrawSampleNow(IMediaSample*, REFERENCE_TIME*, REFERENCE_TIME*)
{
    // Frames are numbered in arrival order: no clock wait.
    return S_OK;
}

HRESULT CV77DsAviFileRendererFilter::EndOfStream()
{
    HRESULT hr = CBaseRenderer::EndOfStream();
    Close();
    return hr;
}

void CV77DsAviFileRendererFilter::Close()
{
    CAutoLock lock(&m_FileLock);
    if (m_pStream) {
        AVIStreamRelease(m_pStream);
        m_pStream = nullptr;
    }
    if (m_pFile) {
        AVIFileRelease(m_pFile);
        m_pFile = nullptr;
    }
    m_FrameCount = 0;
}

STDMETHODIMP CV77DsAviFileRendererFilter::SetFileName(LPCWSTR fileName, LPCWSTR streamName)
{
    Close();
    if (!fileName || !*fileName)
        return S_OK;
    const BITMAPINFOHEADER* bih = GetBitmapInfoHeaderFromMediaType(m_MediaType);
    if (!bih)
        return E_FAIL;
    // Opened outside the lock: the host names files from one thread at a time.
    PAVIFILE file = nullptr;
    HRESULT hr = AVIFileOpenW(&file, fileName, OF_CREATE | OF_SHARE_DENY_WRITE | OF_WRITE, nullptr);
    if (FAILED(hr))
        return hr;
    CAutoLock lock(&m_FileLock);
    m_pFile = file;
    return CreateStream(*bih, streamName);
}

HRESULT CV77DsAviFileRendererFilter::CreateStream(const BITMAPINFOHEADER& bih, LPCWSTR streamName)
{
    AVISTREAMINFOW info = {};
    info.fccType = streamtypeVIDEO;
    info.fccHandler = bih.biCompression;
    const REFERENCE_TIME* avg = GetAvgTimePerFrameFromMediaType(m_MediaType);
    // Milliseconds per frame over a rate of 1000: a frame time under 1 ms
    // gives a scale of 0, which the file keeps as it is.
    info.dwScale = static_cast<DWORD>((avg ? *avg : 0) / 10000);
    info.dwRate = 1000;
    info.rcFrame = {0, 0, bih.biWidth, bih.biHeight < 0 ? -bih.biHeight : bih.biHeight};
    if (streamName) {
        // Names of 64 characters or more are cut to fit with their terminator.
        wcsncpy(info.szName, streamName, 63);
        info.szName[63] = L'\0';
    }
    HRESULT hr = AVIFileCreateStreamW(m_pFile, &m_pStream, &info);
    if (FAILED(hr)) {
        m_pStream = nullptr;  // half-open: the file stays until the next close
        return hr;
    }
    // The stream format is the BITMAPINFOHEADER alone.
    return AVIStreamSetFormat(m_pStream, 0, const_cast<BITMAPINFOHEADER*>(&bih), bih.biSize);
}

HRESULT CV77DsAviFileRendererFilter::DoRenderSample(IMediaSample* sample)
{
    if (!sample)
        return E_POINTER;
    CAutoLock lock(&m_FileLock);
    if (!m_pStream)
        return S_OK;
    const bool key = sample->IsSyncPoint() == S_OK;
    // A file always starts with a key frame.
    if (m_FrameCount == 0 && !key)
        return S_OK;
    const LONG length = sample->GetActualDataLength();
    BYTE* data = nullptr;
    HRESULT hr = sample->GetPointer(&data);
    if (FAILED(hr))
        return hr;
    if (length < 0 || length > sample->GetSize())
        return E_INVALIDARG;
    hr = AVIStreamWrite(m_pStream, m_FrameCount, 1, data, length, key ? AVIIF_KEYFRAME : 0, nullptr, nullptr);
    // A failed write still uses its position: the next frame goes after it.
    ++m_FrameCount;
    return hr;
}
