#include "tests/overlay/COverlayGraph.h"

#include <new>
#include <uuids.h>
#include <amvideo.h>

#include "tests/kit/ComAdopt.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

namespace {

// {2F4C6A10-93B1-4D7E-8C25-61A0B3E4D7F2}
const CLSID kOverlaySourceClsid = {0x2f4c6a10, 0x93b1, 0x4d7e, {0x8c, 0x25, 0x61, 0xa0, 0xb3, 0xe4, 0xd7, 0xf2}};
constexpr LONG kSampleBytes = 1 << 16;

}  // namespace

COverlaySource* COverlaySource::Create(const CMediaType& mt, IV77ReceiverAuxiliary* auxiliary)
{
    HRESULT hr = S_OK;
    auto* source = new (std::nothrow) COverlaySource(mt, auxiliary, &hr);
    if (!source)
        return nullptr;
    source->NonDelegatingAddRef();
    if (FAILED(hr)) {
        source->NonDelegatingRelease();
        return nullptr;
    }
    return source;
}

COverlaySource::COverlaySource(const CMediaType& mt, IV77ReceiverAuxiliary* auxiliary, HRESULT* phr)
    : CBaseFilter(TEXT("Overlay test source"), nullptr, &m_Lock, kOverlaySourceClsid, phr),
      m_pPin(new (std::nothrow) COverlaySourcePin(this, &m_Lock, phr, mt, auxiliary))
{
    if (!m_pPin && phr)
        *phr = E_OUTOFMEMORY;
    else if (m_pPin)
        m_pPin->SetBufferSize(kSampleBytes);
}

COverlaySource::~COverlaySource()
{
    delete m_pPin;
}

CMediaType MakeSensorType()
{
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Video);
    mt.SetSubtype(&MEDIASUBTYPE_V77_SENS);
    mt.SetFormatType(&FORMAT_None);
    mt.SetSampleSize(kSampleBytes);
    return mt;
}

CMediaType MakePolygonType(LONG width, LONG height)
{
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Video);
    mt.SetSubtype(&MEDIASUBTYPE_V77_SEN2);
    mt.SetFormatType(&FORMAT_VideoInfo);
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    ZeroMemory(vih, sizeof(VIDEOINFOHEADER));
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = width;
    vih->bmiHeader.biHeight = height;
    vih->bmiHeader.biPlanes = 1;
    vih->bmiHeader.biBitCount = 32;
    mt.SetSampleSize(kSampleBytes);
    return mt;
}

COverlayGraph::~COverlayGraph()
{
    if (m_Graph.Control())
        m_Graph.StopAndWait();
    m_Graph.Release();
    m_pOverlay.Reset();
    m_pRenderer.Reset();
    m_pSource.Reset();
    if (m_pAuxiliary)
        m_pAuxiliary->Release();
}

HRESULT COverlayGraph::CreateRenderer(ComPtr<IBaseFilter>* filter)
{
    return CoCreateInstance(CLSID_V77DsOverlayRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                            reinterpret_cast<void**>(filter->ReleaseAndGetAddressOf()));
}

HRESULT COverlayGraph::Start(const CMediaType& mt, const std::wstring& xml, HRESULT configResult, bool withAuxiliary)
{
    HRESULT hr = m_Graph.Create();
    if (FAILED(hr))
        return hr;
    if (withAuxiliary)
        m_pAuxiliary = new CTestReceiverAuxiliary(xml, configResult);
    m_pSource = Adopt(COverlaySource::Create(mt, m_pAuxiliary));
    if (!m_pSource)
        return E_OUTOFMEMORY;
    if (FAILED(hr = CreateRenderer(&m_pRenderer)) ||
        FAILED(hr = m_pRenderer->QueryInterface(IID_IV77DsOverlayRenderer,
                                                reinterpret_cast<void**>(m_pOverlay.GetAddressOf()))))
        return hr;
    if (FAILED(hr = m_Graph.Add(m_pSource->Filter(), L"source")) || FAILED(hr = m_Graph.Add(m_pRenderer.Get(), L"overlay")))
        return hr;
    ComPtr<IPin> out = TestGraph::FindPin(m_pSource->Filter(), PINDIR_OUTPUT);
    ComPtr<IPin> in = TestGraph::FindPin(m_pRenderer.Get(), PINDIR_INPUT);
    if (FAILED(hr = m_Graph.ConnectDirect(out.Get(), in.Get(), &mt)))
        return hr;
    hr = m_Graph.Run();
    return SUCCEEDED(hr) ? S_OK : hr;
}

HRESULT COverlayGraph::Push(const std::vector<BYTE>& bytes, LONG length)
{
    return m_pSource->Pin()->Push(bytes, length);
}

bool COverlayGraph::Complete(DWORD timeoutMs)
{
    if (FAILED(m_pSource->Pin()->SendEndOfStream()))
        return false;
    return m_Graph.WaitForEvent(EC_COMPLETE, timeoutMs);
}
