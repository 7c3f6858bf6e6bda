#include "tests/transform/ResizeGraph.h"

#include <amvideo.h>
#include <dvdmedia.h>
#include <gtest/gtest.h>
#include <uuids.h>

#include "tests/kit/ComAdopt.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

LONG RawFrameBytes(const GUID& subtype, LONG width, LONG height)
{
    height = std::abs(height);
    if (subtype == MEDIASUBTYPE_YUY2)
        return width * 2 * height;
    if (subtype == MEDIASUBTYPE_RGB24)
        return ((width * 3 + 3) & ~3) * height;
    if (subtype == MEDIASUBTYPE_RGB32)
        return width * 4 * height;
    return width * height * 3 / 2;
}

CMediaType MakeRawVideoType(const GUID& subtype, LONG width, LONG height, REFERENCE_TIME frameTime, bool interlaced)
{
    VIDEOINFOHEADER2 vih = {};
    vih.AvgTimePerFrame = frameTime;
    if (interlaced)
        vih.dwInterlaceFlags = AMINTERLACE_IsInterlaced;
    BITMAPINFOHEADER& h = vih.bmiHeader;
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    if (subtype == MEDIASUBTYPE_RGB24 || subtype == MEDIASUBTYPE_RGB32) {
        h.biBitCount = subtype == MEDIASUBTYPE_RGB24 ? 24 : 32;
        h.biCompression = BI_RGB;
    } else {
        h.biBitCount = subtype == MEDIASUBTYPE_YUY2 ? 16 : 12;
        h.biCompression = subtype.Data1;  // the FOURCC
    }
    h.biSizeImage = static_cast<DWORD>(RawFrameBytes(subtype, width, height));
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Video);
    mt.SetSubtype(&subtype);
    if (interlaced) {
        mt.SetFormatType(&FORMAT_VideoInfo2);
        mt.SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof(vih));
    } else {
        // VIDEOINFOHEADER is VIDEOINFOHEADER2 without the interlace block.
        VIDEOINFOHEADER v1 = {};
        v1.AvgTimePerFrame = frameTime;
        v1.bmiHeader = h;
        mt.SetFormatType(&FORMAT_VideoInfo);
        mt.SetFormat(reinterpret_cast<const BYTE*>(&v1), sizeof(v1));
    }
    mt.SetSampleSize(h.biSizeImage);
    mt.SetTemporalCompression(FALSE);
    return mt;
}

ResizeGraph::ResizeGraph()
{
    HRESULT hr = CoCreateInstance(CLSID_V77ResizeFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  reinterpret_cast<void**>(m_pFilter.GetAddressOf()));
    EXPECT_EQ(S_OK, hr);
    if (m_pFilter) {
        EXPECT_EQ(S_OK, m_pFilter.As(&m_pControl));
    }
    TestRendererConfig config;
    config.waitForSampleTime = false;
    config.bytesRecorded = 8 << 20;
    m_pRenderer = Adopt(CTestRenderer::Create(config));
}

ResizeGraph::~ResizeGraph()
{
    if (m_Graph.Control())
        m_Graph.StopAndWait();
    m_Graph.Release();
}

HRESULT ResizeGraph::Connect(const CMediaType& input)
{
    if (!m_pFilter || !m_pRenderer)
        return E_FAIL;
    m_pSource = Adopt(CTestPushSource::Create(input));
    HRESULT hr = S_OK;
    if (!m_pSource)
        return E_OUTOFMEMORY;
    if (FAILED(hr = m_Graph.Create()) || FAILED(hr = m_Graph.Add(m_pSource->Filter(), L"source")) ||
        FAILED(hr = m_Graph.Add(m_pFilter.Get(), L"Varnokel77 Resize filter")) ||
        FAILED(hr = m_Graph.Add(m_pRenderer->Filter(), L"renderer")))
        return hr;
    if (FAILED(hr = m_Graph.ConnectFilters(m_pSource->Filter(), m_pFilter.Get())))
        return hr;
    return m_Graph.ConnectFilters(m_pFilter.Get(), m_pRenderer->Filter());
}

CMediaType ResizeGraph::OutputType() const
{
    CMediaType mt;
    AM_MEDIA_TYPE connected = {};
    if (Output() && Output()->ConnectionMediaType(&connected) == S_OK) {
        mt.Set(connected);
        FreeMediaType(connected);
    }
    return mt;
}

HRESULT ResizeGraph::PushAt(const std::vector<BYTE>& frame, REFERENCE_TIME start)
{
    TestPacket p;
    p.bytes = frame;
    p.timeValid = true;
    p.start = start;
    p.stop = start + 1;
    return Push(p);
}
