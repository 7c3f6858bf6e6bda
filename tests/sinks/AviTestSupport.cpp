#include "tests/sinks/AviTestSupport.h"

#include <amvideo.h>

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <uuids.h>

#include "tests/kit/ComAdopt.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

CMediaType MakeDx50Type(LONG width, LONG height, REFERENCE_TIME frameTime, LONG sampleSize,
                        const std::vector<BYTE>& header)
{
    VIDEOINFOHEADER vih = {};
    vih.AvgTimePerFrame = frameTime;
    if (header.size() >= sizeof(BITMAPINFOHEADER)) {
        std::memcpy(&vih.bmiHeader, header.data(), sizeof(BITMAPINFOHEADER));
    } else {
        vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        vih.bmiHeader.biWidth = width;
        vih.bmiHeader.biHeight = height;
        vih.bmiHeader.biPlanes = 1;
        vih.bmiHeader.biBitCount = 24;
        vih.bmiHeader.biCompression = MAKEFOURCC('D', 'X', '5', '0');
        vih.bmiHeader.biSizeImage = static_cast<DWORD>(width * std::abs(height) * 3);
    }
    // The header alone: what the renderer stores is biSize bytes.
    vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Video);
    mt.SetSubtype(&MEDIASUBTYPE_V77_DX50);
    mt.SetFormatType(&FORMAT_VideoInfo);
    mt.SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof(vih));
    mt.SetSampleSize(static_cast<ULONG>(sampleSize));
    mt.SetTemporalCompression(TRUE);
    return mt;
}

std::wstring DataPath(const wchar_t* name)
{
    const wchar_t* dir = _wgetenv(L"V77_AVI_DATA");
    return std::wstring(dir ? dir : L"C:\\") + L"\\" + name;
}

AviContents ReadAvi(const std::wstring& path)
{
    AviContents c;
    PAVIFILE file = nullptr;
    c.hr = AVIFileOpenW(&file, path.c_str(), OF_READ | OF_SHARE_DENY_NONE, nullptr);
    if (FAILED(c.hr))
        return c;
    PAVISTREAM stream = nullptr;
    c.hr = AVIFileGetStream(file, &stream, streamtypeVIDEO, 0);
    if (SUCCEEDED(c.hr)) {
        AVIStreamInfoW(stream, &c.info, sizeof c.info);
        LONG formatBytes = 0;
        AVIStreamReadFormat(stream, 0, nullptr, &formatBytes);
        c.format.resize(formatBytes > 0 ? formatBytes : 0);
        if (formatBytes > 0)
            AVIStreamReadFormat(stream, 0, c.format.data(), &formatBytes);
        const LONG start = AVIStreamStart(stream), length = AVIStreamLength(stream);
        for (LONG i = start; i < start + length; ++i) {
            AviFrame f;
            LONG bytes = 0;
            if (FAILED(AVIStreamRead(stream, i, 1, nullptr, 0, &bytes, nullptr)))
                break;
            f.bytes.resize(bytes);
            if (bytes > 0 && FAILED(AVIStreamRead(stream, i, 1, f.bytes.data(), bytes, &bytes, nullptr)))
                break;
            f.key = AVIStreamIsKeyFrame(stream, i);
            c.frames.push_back(std::move(f));
        }
        AVIStreamRelease(stream);
    }
    AVIFileRelease(file);
    return c;
}

AviGraph::AviGraph()
{
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_V77DsAviFileRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                     reinterpret_cast<void**>(m_pFilter.GetAddressOf())));
    if (m_pFilter) {
        EXPECT_EQ(S_OK, m_pFilter.As(&m_pControl));
    }
}

AviGraph::~AviGraph()
{
    if (m_Graph.Control())
        m_Graph.StopAndWait();
    m_Graph.Release();
}

HRESULT AviGraph::Connect(const CMediaType& mt, LONG bufferSize)
{
    if (!m_pFilter)
        return E_FAIL;
    m_pSource = Adopt(CTestPushSource::Create(mt, bufferSize));
    if (!m_pSource)
        return E_OUTOFMEMORY;
    HRESULT hr = S_OK;
    if (FAILED(hr = m_Graph.Create()) || FAILED(hr = m_Graph.Add(m_pSource->Filter(), L"source")) ||
        FAILED(hr = m_Graph.Add(m_pFilter.Get(), L"Varnokel77 Avi file renderer filter")))
        return hr;
    return m_Graph.ConnectFilters(m_pSource->Filter(), m_pFilter.Get());
}

HRESULT AviGraph::Push(const std::vector<BYTE>& bytes, bool key)
{
    TestPacket p;
    p.bytes = bytes;
    p.syncPoint = key;
    return m_pSource->Pin()->Push(p);
}
