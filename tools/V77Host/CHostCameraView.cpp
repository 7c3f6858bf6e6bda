#include "tools/V77Host/CHostCameraView.h"

#include <new>
#include <uuids.h>
#include "tools/common/CCameraReference.h"
#include "tools/common/CPacketCarrier.h"

namespace {

// {6E2A4C13-58B7-4F0A-9C3D-1A2B3C4D5E6F}: the host's own, never registered.
const CLSID CLSID_V77HostCameraView = {0x6e2a4c13, 0x58b7, 0x4f0a, {0x9c, 0x3d, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e, 0x6f}};

}  // namespace

CHostCameraView::CHostCameraView(const CCameraReference* camera, HRESULT* phr)
    : CBaseRenderer(CLSID_V77HostCameraView, TEXT("V77Host camera view"), nullptr, phr), m_pCamera(camera)
{
}

CHostCameraView* CHostCameraView::Create(const CCameraReference* camera)
{
    HRESULT hr = S_OK;
    auto* view = new (std::nothrow) CHostCameraView(camera, &hr);
    if (!view)
        return nullptr;
    if (FAILED(hr)) {
        delete view;
        return nullptr;
    }
    view->AddRef();
    return view;
}

std::vector<CHostCameraView::Shown> CHostCameraView::Frames() const
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_Frames;
}

bool CHostCameraView::Last(Shown* shown) const
{
    std::lock_guard<std::mutex> lock(m_Lock);
    if (m_Frames.empty())
        return false;
    *shown = m_Frames.back();
    return true;
}

void CHostCameraView::Clear()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Frames.clear();
}

HRESULT CHostCameraView::CheckMediaType(const CMediaType* mt)
{
    return *mt->Type() == MEDIATYPE_Video ? S_OK : S_FALSE;
}

HRESULT CHostCameraView::DoRenderSample(IMediaSample* sample)
{
    BYTE* data = nullptr;
    const LONG length = sample->GetActualDataLength();
    Shown shown = {-1, -1};
    if (SUCCEEDED(sample->GetPointer(&data)) && data && length > 0) {
        const std::vector<BYTE> packet = CPacketCarrier::Unwrap(std::vector<BYTE>(data, data + length));
        shown.frame = m_pCamera->Identify(packet);
    }
    REFERENCE_TIME start = 0, stop = 0;
    if (sample->GetMediaTime(&start, &stop) == S_OK)
        shown.media = start;
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Frames.push_back(shown);
    return S_OK;
}

HRESULT CHostCameraView::ShouldDrawSampleNow(IMediaSample*, REFERENCE_TIME*, REFERENCE_TIME*)
{
    return S_OK;
}
