#include "sinks/CV77DsOverlayRendererFilter.h"

#include <new>
#include <uuids.h>
#include <oleauto.h>
#include <wrl/client.h>

#include "companions/V77Sync/CV77AutoSync.h"
#include "companions/V77Media/V77Media.h"
#include "framework/CRendererInputPin.h"
#include "sinks/CPolygon.h"
#include "sinks/CSensor.h"
#include "sinks/V77OverlayErrors.h"
#include "v77/IV77Receivers.h"
#include "v77/V77Guids.h"

using Microsoft::WRL::ComPtr;

namespace {

// Bounds on a polygon canvas (32 bits a pixel): beyond them the media type
// is not a video picture this overlay can hold.
constexpr LONG kMaxPolygonSide = 8192;

// Frees the configuration text on every path.
class CConfigurationText {
public:
    ~CConfigurationText() { SysFreeString(m_Text); }
    BSTR* Out() { return &m_Text; }
    wchar_t* Get() const { return m_Text; }

private:
    BSTR m_Text = nullptr;
};

}  // namespace

CUnknown* WINAPI CV77DsOverlayRendererFilter::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    HRESULT ignored = S_OK;
    if (!phr)
        phr = &ignored;
    *phr = S_OK;
    auto* filter = new (std::nothrow)
        CV77DsOverlayRendererFilter(TEXT("Varnokel77 Overlay renderer filter"), outer, phr);
    if (!filter)
        *phr = E_OUTOFMEMORY;
    return filter;
}

CV77DsOverlayRendererFilter::CV77DsOverlayRendererFilter(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr)
    : CBaseRenderer(CLSID_V77DsOverlayRenderer, name, outer, phr), m_bModified(true)
{
    if (phr && SUCCEEDED(*phr) && !m_Lock.IsValid())
        *phr = HRESULT_FROM_WIN32(GetLastError());
}

CV77DsOverlayRendererFilter::~CV77DsOverlayRendererFilter()
{
    CV77AutoSync lock(m_Lock);
    m_SensorName.clear();
    m_pRenderer.reset();
}

STDMETHODIMP CV77DsOverlayRendererFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IV77DsOverlayRenderer)
        return GetInterface(static_cast<IV77DsOverlayRenderer*>(this), ppv);
    return CBaseRenderer::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CV77DsOverlayRendererFilter::CheckMediaType(const CMediaType* mt)
{
    if (!mt || *mt->Type() != MEDIATYPE_Video)
        return S_FALSE;
    const GUID& subtype = *mt->Subtype();
    return subtype == MEDIASUBTYPE_V77_SENS || subtype == MEDIASUBTYPE_V77_SEN2 ? S_OK : S_FALSE;
}

HRESULT CV77DsOverlayRendererFilter::SetMediaType(const CMediaType* mt)
{
    if (!mt)
        return E_POINTER;
    CV77AutoSync lock(m_Lock);
    m_mtIn = *mt;
    return S_OK;
}

HRESULT CV77DsOverlayRendererFilter::CompleteConnect(IPin* receivePin)
{
    HRESULT hr = CBaseRenderer::CompleteConnect(receivePin);
    if (FAILED(hr))
        return hr;
    return CreateOverlay();
}

HRESULT CV77DsOverlayRendererFilter::ShouldDrawSampleNow(IMediaSample*, REFERENCE_TIME*, REFERENCE_TIME*)
{
    return S_OK;
}

HRESULT CV77DsOverlayRendererFilter::DoRenderSample(IMediaSample* sample)
{
    if (!sample)
        return E_POINTER;
    CV77AutoSync lock(m_Lock);
    try {
        if (m_pRenderer)
            m_pRenderer->SetSample(sample);
    } catch (...) {
        // The streaming thread goes on with the next sample.
        V77HandleException(kV77OverlayModule, __LINE__);
    }
    m_bModified = true;
    return S_OK;
}

STDMETHODIMP CV77DsOverlayRendererFilter::Draw(HDC hdc, const RECT* dst, const RECT* src)
{
    CV77AutoSync lock(m_Lock);
    if (!m_pRenderer)
        return VFW_E_NOT_CONNECTED;
    if (!dst)
        return E_POINTER;
    try {
        m_pRenderer->Draw(hdc, dst, src, m_SensorName);
    }
    V77OV_CATCH()
    m_bModified = false;
    return S_OK;
}

STDMETHODIMP CV77DsOverlayRendererFilter::DrawInfo(HDC hdc, const RECT* rc)
{
    CV77AutoSync lock(m_Lock);
    if (!m_pRenderer)
        return VFW_E_NOT_CONNECTED;
    if (!rc)
        return E_POINTER;
    try {
        m_pRenderer->DrawInfo(hdc, rc, m_SensorName);
    }
    V77OV_CATCH()
    return S_OK;
}

STDMETHODIMP CV77DsOverlayRendererFilter::IsModified()
{
    return m_bModified ? S_OK : S_FALSE;
}

STDMETHODIMP CV77DsOverlayRendererFilter::SetSensorName(BSTR name)
{
    std::string ansi;
    const int length = name ? static_cast<int>(SysStringLen(name)) : 0;
    if (length > 0) {
        const int bytes = WideCharToMultiByte(CP_THREAD_ACP, 0, name, length, nullptr, 0, nullptr, nullptr);
        if (bytes > 0) {
            ansi.resize(bytes);
            WideCharToMultiByte(CP_THREAD_ACP, 0, name, length, &ansi[0], bytes, nullptr, nullptr);
        }
    }
    // Under the lock, so a paint never reads a name being replaced.
    CV77AutoSync lock(m_Lock);
    m_SensorName.swap(ansi);
    return S_OK;
}

STDMETHODIMP CV77DsOverlayRendererFilter::CreateOverlay()
{
    CV77AutoSync lock(m_Lock);
    try {
        const GUID& subtype = *m_mtIn.Subtype();
        if (subtype == MEDIASUBTYPE_V77_SENS)
            return CreateSensor();
        if (subtype == MEDIASUBTYPE_V77_SEN2)
            return CreatePolygon();
    }
    V77OV_CATCH()
    return E_FAIL;
}

HRESULT CV77DsOverlayRendererFilter::CreateSensor()
{
    auto* sensor = new CSensor();
    m_pRenderer.reset(sensor);
    ComPtr<IPin> peer;
    HRESULT hr = InputPin() ? InputPin()->ConnectedTo(peer.GetAddressOf()) : VFW_E_NOT_CONNECTED;
    if (FAILED(hr))
        return hr;
    ComPtr<IV77ReceiverAuxiliary> auxiliary;
    hr = peer->QueryInterface(IID_IV77ReceiverAuxiliary, reinterpret_cast<void**>(auxiliary.GetAddressOf()));
    if (FAILED(hr))
        return hr;
    CConfigurationText xml;
    hr = auxiliary->GetOverlayConfiguration(0, xml.Out());
    if (FAILED(hr))
        return hr;
    try {
        sensor->InitializeXML(xml.Get());
    }
    V77OV_CATCH()
    return S_OK;
}

HRESULT CV77DsOverlayRendererFilter::CreatePolygon()
{
    const BITMAPINFOHEADER* header = GetBitmapInfoHeaderFromMediaType(m_mtIn);
    if (!header)
        return VFW_E_INVALIDMEDIATYPE;
    const LONG width = header->biWidth;
    const LONG height = header->biHeight < 0 ? -header->biHeight : header->biHeight;
    if (width <= 0 || height <= 0 || width > kMaxPolygonSide || height > kMaxPolygonSide)
        return VFW_E_INVALIDMEDIATYPE;
    m_pRenderer.reset(new CPolygon(width, height));
    return S_OK;
}
