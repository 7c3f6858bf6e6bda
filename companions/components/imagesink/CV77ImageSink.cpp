#include "companions/components/imagesink/CV77ImageSink.h"

#include <cstring>
#include <new>

CUnknown* CV77ImageSink::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    if (outer) {
        if (phr)
            *phr = CLASS_E_NOAGGREGATION;
        return nullptr;
    }
    auto* sink = new (std::nothrow) CV77ImageSink();
    if (!sink && phr)
        *phr = E_OUTOFMEMORY;
    return sink;
}

CV77ImageSink::CV77ImageSink()
    : CUnknown(TEXT("Image sink"), nullptr), m_hFile(INVALID_HANDLE_VALUE), m_dwKeep(0), m_dwFrames(0)
{
}

CV77ImageSink::~CV77ImageSink()
{
    CloseFile();
}

STDMETHODIMP CV77ImageSink::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IV77ImageSinkSetup)
        return GetInterface(static_cast<IV77ImageSinkSetup*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

void CV77ImageSink::CloseFile()
{
    if (m_hFile != INVALID_HANDLE_VALUE)
        CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
}

HRESULT CV77ImageSink::WriteFrame(const BYTE* data, DWORD length)
{
    while (length > 0) {
        DWORD written = 0;
        if (!WriteFile(m_hFile, data, length, &written, nullptr))
            return HRESULT_FROM_WIN32(GetLastError());
        if (written == 0)
            return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
        data += written;
        length -= written;
    }
    return S_OK;
}

STDMETHODIMP CV77ImageSink::Deliver(IMediaSample* sample)
{
    if (!sample)
        return E_POINTER;
    BYTE* data = nullptr;
    HRESULT hr = sample->GetPointer(&data);
    if (FAILED(hr))
        return hr;
    const long actual = sample->GetActualDataLength();
    const DWORD length = (data && actual > 0) ? static_cast<DWORD>(actual) : 0;
    REFERENCE_TIME mediaStart = 0;
    REFERENCE_TIME mediaStop = 0;
    if (FAILED(sample->GetMediaTime(&mediaStart, &mediaStop)))
        mediaStart = 0;

    std::lock_guard<std::mutex> lock(m_Lock);
    ++m_dwFrames;
    hr = S_OK;
    if (m_hFile != INVALID_HANDLE_VALUE)
        hr = WriteFrame(data, length);
    if (m_dwKeep > 0) {
        m_Kept.push_back(KeptFrame{std::vector<BYTE>(data, data + length), mediaStart});
        while (m_Kept.size() > m_dwKeep)
            m_Kept.pop_front();
    }
    return hr;
}

STDMETHODIMP CV77ImageSink::SetFile(LPCWSTR path)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    CloseFile();
    if (!path || !*path)
        return S_OK;
    m_hFile = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_hFile == INVALID_HANDLE_VALUE)
        return HRESULT_FROM_WIN32(GetLastError());
    return S_OK;
}

STDMETHODIMP CV77ImageSink::SetKeepCount(DWORD count)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_dwKeep = count;
    while (m_Kept.size() > m_dwKeep)
        m_Kept.pop_front();
    return S_OK;
}

STDMETHODIMP CV77ImageSink::GetFrameCount(DWORD* count)
{
    if (!count)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_Lock);
    *count = m_dwFrames;
    return S_OK;
}

STDMETHODIMP CV77ImageSink::GetKeptFrame(DWORD index, BYTE* buffer, DWORD capacity, DWORD* length,
                                         REFERENCE_TIME* mediaStart)
{
    if (!length)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_Lock);
    if (index >= m_Kept.size())
        return E_INVALIDARG;
    const KeptFrame& frame = m_Kept[m_Kept.size() - 1 - index];
    *length = static_cast<DWORD>(frame.bytes.size());
    if (mediaStart)
        *mediaStart = frame.mediaStart;
    if (!buffer || capacity < frame.bytes.size())
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    if (!frame.bytes.empty())
        std::memcpy(buffer, frame.bytes.data(), frame.bytes.size());
    return S_OK;
}
